# Writes a tree of many pages for the paging tests, parents first:
#   awk -v units=U -v users=N -f make_paged_tree.awk
# The users are added round-robin over the units, so that a unit's
# subordinates are spread over every page and their order (the order of
# adding) differs from the order of their names. Scripts vary: plain text,
# CRLF text in base64, bytes above 0x7F, an empty value, a second value
# (never read), none at all; some units hold aliases to users and units.
function script(u, i,   kind) {
  kind = (u * 7 + i) % 6
  if (kind == 0) return "loginScript: MAP ROOT H:=FS1/HOME:U" u "N" i "\n"
  if (kind == 1) return "loginScript:: " b64("WRITE \"unit " u " user " i "\"\r\nMAP S:=FS2/SYS:PUBLIC\r\n") "\n"
  if (kind == 2) return "loginScript:: " b64("REM \344\366\374 " i "\r\nmap x:=fs" u ":data\r\n") "\n"
  if (kind == 3) return "loginScript:\n"
  if (kind == 4) return "loginScript: first value maps nothing " i "\nloginScript: MAP SECOND:=VALUE\n"
  return ""
}
# base64 of a byte string whose bytes are all below 0x100 (awk strings).
function b64(s,   out, i, n, a, b, c, chars) {
  chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
  n = length(s)
  for (i = 1; i <= n; i += 3) {
    a = ord[substr(s, i, 1)]
    b = i + 1 <= n ? ord[substr(s, i + 1, 1)] : 0
    c = i + 2 <= n ? ord[substr(s, i + 2, 1)] : 0
    out = out substr(chars, int(a / 4) + 1, 1)
    out = out substr(chars, (a % 4) * 16 + int(b / 16) + 1, 1)
    out = out (i + 1 <= n ? substr(chars, (b % 16) * 4 + int(c / 64) + 1, 1) : "=")
    out = out (i + 2 <= n ? substr(chars, c % 64 + 1, 1) : "=")
  }
  return out
}
BEGIN {
  for (i = 0; i < 256; i++) ord[sprintf("%c", i)] = i
  printf "dn: o=Paged\nobjectClass: organization\nobjectClass: loginScriptHolder\no: Paged\n"
  printf "loginScript: MAP ROOT Z:=TOP\n\n"
  for (u = 1; u <= units; u++)
    printf "dn: ou=unit%d,o=Paged\nobjectClass: organizationalUnit\nou: unit%d\n\n", u, u
  for (i = users; i >= 1; i--) {
    for (u = 1; u <= units; u++) {
      printf "dn: cn=user %d.%d,ou=unit%d,o=Paged\nobjectClass: inetOrgPerson\n", i, u, u
      printf "objectClass: loginScriptHolder\ncn: user %d.%d\nsn: %d\n%s\n", i, u, i, script(u, i)
    }
    if (i % 100 == 0) {
      u = i / 100 % units + 1
      printf "dn: cn=alias %d,ou=unit%d,o=Paged\nobjectClass: alias\nobjectClass: extensibleObject\n", i, u
      printf "cn: alias %d\naliasedObjectName: cn=user %d.%d,ou=unit%d,o=Paged\n\n", i, i, u, u
      printf "dn: cn=unit alias %d,ou=unit%d,o=Paged\nobjectClass: alias\nobjectClass: extensibleObject\n", i, u
      printf "cn: unit alias %d\naliasedObjectName: ou=unit1,o=Paged\n\n", i
    }
  }
}
