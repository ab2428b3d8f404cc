// The client over a loaded tree: names the tool cannot take, streams, the
// statuses of misuse, start-up failures and the locale. Batches that fill
// the reply buffer are shown through the walk (tool/walk_test.cc).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "ldif/ldif_loader.h"
#include "client/locale_query.h"
#include "client/status.h"
#include "client/tree_client.h"
#include "tool/tree_choice.h"

namespace qovant_test {
namespace {

using namespace dirclient;  // NOLINT: the client's own names, in its own test

std::unique_ptr<TreeClient> Client(const std::string& ldif) {
  auto loaded = std::make_unique<LoadedTree>();
  Failure error;
  EXPECT_TRUE(LoadLdif(ldif, loaded->tree, &error)) << error.message;
  auto client = std::make_unique<TreeClient>(std::move(loaded));
  EXPECT_EQ(client->NWCallsInit(nullptr, nullptr), 0);
  return client;
}

struct Listing {
  ContextHandle context;
  BufferHandle buffer;
};

Listing Open(TreeClient& client, const char* name) {
  Listing listing;
  EXPECT_EQ(client.NWDSCreateContext(&listing.context), 0);
  EXPECT_EQ(client.NWDSAllocBuf(kReplyBufferSize, &listing.buffer), 0);
  EXPECT_EQ(client.DirSetNameContext(listing.context, kNameContextKey, name), 0);
  return listing;
}

// A name of 259 bytes is handed over; one of 260 fails with a status and the
// next read moves on to the following object.
TEST(TreeClientTest, NamesOver259BytesFailAndTheBatchGoesOn) {
  std::string fits = "cn=" + std::string(256, 'f');
  std::string over = "cn=" + std::string(257, 'o');
  auto client = Client("dn: " + fits + ",o=A\nobjectClass: top\n\ndn: " + over +
                       ",o=A\nobjectClass: top\n\ndn: cn=after,o=A\nobjectClass: top\n");
  Listing listing = Open(*client, "O=A");
  IterationHandle iteration = kNoIteration;
  ASSERT_EQ(client->NWDSList(listing.context, "", &iteration, listing.buffer), 0);
  char name[kObjectNameSize];
  uint32_t attributes;
  ObjectInfo info;
  EXPECT_EQ(client->NWDSGetObjectName(listing.context, listing.buffer, name, &attributes, &info), 0);
  EXPECT_EQ(std::strlen(name), 259u);
  EXPECT_EQ(client->NWDSGetObjectName(listing.context, listing.buffer, name, &attributes, &info),
            kNameTooLong);
  EXPECT_EQ(client->NWDSGetObjectName(listing.context, listing.buffer, name, &attributes, &info), 0);
  EXPECT_STREQ(name, "CN=after");
  EXPECT_EQ(client->NWDSGetObjectName(listing.context, listing.buffer, name, &attributes, &info),
            kNoMoreObjects);
}

TEST(TreeClientTest, StreamsReadOnwardAndOnlyForReading) {
  auto client = Client("dn: o=A\nloginScript: abcdef\n\ndn: o=B\nobjectClass: top\n\ndn: o=E\nloginScript:\n");
  ContextHandle context;
  ASSERT_EQ(client->NWDSCreateContext(&context), 0);
  StreamHandle stream;
  EXPECT_EQ(client->DirOpenAttributeStream(context, "O=A", "Login Script", 2, &stream), kBadStreamMode);
  EXPECT_EQ(client->DirOpenAttributeStream(context, "O=A", "Surname", 1, &stream), kNoSuchAttribute);
  EXPECT_EQ(client->DirOpenAttributeStream(context, "O=B", "Login Script", 1, &stream), kNoSuchAttribute);
  EXPECT_EQ(client->DirOpenAttributeStream(context, "O=Z", "Login Script", 1, &stream), kNoSuchObject);
  EXPECT_EQ(client->DirOpenAttributeStream(context, "nonsense", "Login Script", 1, &stream), kBadName);
  ASSERT_EQ(client->DirOpenAttributeStream(context, "o=a", "loginscript", 1, &stream), 0);
  char data[4];
  uint32_t got;
  EXPECT_EQ(client->DirReadStream(stream, data, 4, &got), 0);
  EXPECT_EQ(std::string(data, got), "abcd");
  EXPECT_EQ(client->DirReadStream(stream, data, 4, &got), 0);
  EXPECT_EQ(std::string(data, got), "ef");
  EXPECT_EQ(client->DirCloseStream(stream), 0);
  EXPECT_EQ(client->DirCloseStream(stream), kBadStream);
  ASSERT_EQ(client->DirOpenAttributeStream(context, "O=E", "Login Script", 1, &stream), 0);
  EXPECT_EQ(client->DirReadStream(stream, data, 4, &got), 0);
  EXPECT_EQ(got, 0u);
}

TEST(TreeClientTest, MisuseGetsDistinctStatuses) {
  auto client = Client("dn: o=A\nobjectClass: top\n\ndn: cn=x,o=A\nobjectClass: top\n");
  ContextHandle context;
  BufferHandle buffer;
  ASSERT_EQ(client->NWDSCreateContext(&context), 0);
  EXPECT_EQ(client->NWDSAllocBuf(16, &buffer), kBadBufferSize);
  ASSERT_EQ(client->NWDSAllocBuf(kReplyBufferSize, &buffer), 0);
  EXPECT_EQ(client->DirSetNameContext(context, 4, "O=A"), kBadContextKey);
  EXPECT_EQ(client->DirSetNameContext(context, kNameContextKey, "O=A..x"), kBadName);
  // A name that parses but names nothing fails when it is listed.
  EXPECT_EQ(client->DirSetNameContext(context, kNameContextKey, "O=Gone"), 0);
  IterationHandle iteration = kNoIteration;
  EXPECT_EQ(client->NWDSList(context, "", &iteration, buffer), kNoSuchObject);
  EXPECT_EQ(client->DirSetNameContext(context, kNameContextKey, "O=A"), 0);
  iteration = 12345;
  EXPECT_EQ(client->NWDSList(context, "", &iteration, buffer), kBadIteration);
  EXPECT_EQ(client->NWDSList(static_cast<ContextHandle>(99), "", &iteration, buffer), kBadContext);
  EXPECT_EQ(client->DirReleaseBuffer(buffer), 0);
  EXPECT_EQ(client->DirReleaseBuffer(buffer), kBadBuffer);
  EXPECT_EQ(client->DirReleaseContext(context), 0);
  EXPECT_EQ(client->DirReleaseContext(context), kBadContext);
  EXPECT_EQ(client->NWCallsInit(nullptr, nullptr), kAlreadyStarted);
}

TEST(TreeClientTest, StartUpFailuresNameTheFileAndLine) {
  struct StartCase {
    const char* content;  // null: the file does not exist
    Status status;
    const char* diagnostic;
    const char* given = nullptr;  // a path to use instead of a file of `content`
  } cases[] = {
      {nullptr, kTreeUnreadable, "qovant: PATH: No such file or directory\n"},
      {"dn: o=A\nbroken\n", kTreeMalformed,
       "qovant: PATH:2: line is neither an attribute nor a continuation\n"},
      {nullptr, kTreeUnreadable, "qovant: PATH: Is a directory\n", "/"},
      // A regular file whose first read fails: the read error, not a parse.
      {nullptr, kTreeUnreadable, "qovant: PATH: Input/output error\n", "/proc/self/mem"},
  };
  for (const StartCase& c : cases) {
    char path[] = "/tmp/qovant-test-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    if (c.content) {
      ASSERT_EQ(write(fd, c.content, std::strlen(c.content)), static_cast<ssize_t>(std::strlen(c.content)));
    } else {
      unlink(path);
    }
    close(fd);
    const char* used = c.given ? c.given : path;
    char* text = nullptr;
    size_t size = 0;
    std::FILE* err = open_memstream(&text, &size);
    Environment environment;
    environment.Set("DIRCLIENT_TREE", used);
    ConfiguredTree source(environment, err, "qovant");
    TreeClient client(source, environment);
    EXPECT_EQ(client.NWCallsInit(nullptr, nullptr), c.status);
    ContextHandle context;
    EXPECT_EQ(client.NWDSCreateContext(&context), kNotStarted);
    std::fclose(err);
    std::string expected = c.diagnostic;
    expected.replace(expected.find("PATH"), 4, used);
    EXPECT_EQ(std::string(text, size), expected);
    std::free(text);
    unlink(path);
  }
}

TEST(TreeClientTest, LocaleQueryFollowsTheCharacterSet) {
  struct LocaleCase {
    const char* lcAll;
    const char* lcCtype;
    const char* lang;
    uint32_t codePage;
  } cases[] = {
      {nullptr, nullptr, nullptr, kCodePageAscii},
      {"C", "de_DE.UTF-8", nullptr, kCodePageAscii},
      {"", "de_DE.UTF-8", nullptr, kCodePageUtf8},
      {nullptr, nullptr, "en_US.utf8", kCodePageUtf8},
      {nullptr, "fr_FR.ISO-8859-1", nullptr, kCodePageLatin1},
      {nullptr, "fr_FR@euro", nullptr, kCodePageLatin1},
      {nullptr, "de_DE.CP1252", nullptr, kCodePageWindows1252},
      {nullptr, "ru_RU.KOI8-R", nullptr, kCodePageAscii},
      {"POSIX", nullptr, nullptr, kCodePageAscii},
  };
  for (const LocaleCase& c : cases)
    EXPECT_EQ(QueryLocale(c.lcAll, c.lcCtype, c.lang).codePage, c.codePage)
        << (c.lcAll ? c.lcAll : "-") << " " << (c.lcCtype ? c.lcCtype : "-");
}

}  // namespace
}  // namespace qovant_test
