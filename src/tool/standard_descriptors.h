// Standard input, output and error as the tool needs them at start-up.
#pragma once

namespace tool {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// no file or socket opened later takes one of their numbers: a diagnostic
// meant for standard error would otherwise be written into an LDAP
// connection or a file. Sets *outputClosed when standard output was one of
// them: a report written there is lost, not delivered. False when one could
// not be opened. (Windows: the C runtime keeps the three numbers itself;
// only a missing standard output is reported.)
bool OpenClosedStandardDescriptors(bool* outputClosed);

}  // namespace tool
