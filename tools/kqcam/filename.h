// File names from --filename patterns, and files that are created only when
// they do not exist yet (unless --force-overwrite).
#ifndef KQCAM_FILENAME_H
#define KQCAM_FILENAME_H

#include <cstdio>
#include <ctime>
#include <string>

namespace kqcam {

// Throws a usage Failure naming the first code the pattern does not know.
// Codes: %n counter, %Nn counter zero-padded to N digits (%03n), %C the
// file's suffix, %% a percent sign, and the date/time codes %Y %y %m %d %H
// %M %S %j %a %A %b %B %I %p.
void ValidatePattern(const std::string& pattern);

// Whether the pattern contains a counter code.
bool PatternHasCounter(const std::string& pattern);

std::string ExpandPattern(const std::string& pattern, unsigned counter, const std::tm& when,
                          const std::string& suffix);

bool FileExists(const std::string& path);

// Creates the missing folders above `path`. Throws a Failure when one
// cannot be made.
void MakeParentFolders(const std::string& path);

// Opens `path` for binary writing. Without `overwrite` the file must not
// exist yet; the check and the creation are one step, so no file that
// appeared in between is replaced. Throws a Failure when refused.
std::FILE* CreateOutputFile(const std::string& path, bool overwrite);

}  // namespace kqcam

#endif  // KQCAM_FILENAME_H
