// Files the simulated camera writes into the host's temporary folder
// (POSIX: $TMPDIR or /tmp; Windows: GetTempPathW), each under a name no
// other file has, and reported to the client as UTF-16 paths.
#ifndef ZTSIM_TEMP_FILE_H
#define ZTSIM_TEMP_FILE_H

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace ztsim {

// Creates a new file "ztsim-<process>-<n><suffix>" holding `size` bytes of
// `data` and returns its path, or an empty string when it could not be
// written (nothing is left behind then).
std::u16string WriteNewTempFile(const char* suffix, const unsigned char* data, size_t size);

// Creates a new file of `size` bytes for transfer tests and returns its
// path (empty on failure). Files up to kPatternFileLimit bytes hold byte i =
// i mod 251; larger ones are sparse: zeros, and the last byte holds
// (size - 1) mod 251.
constexpr uint32_t kPatternFileLimit = 1024u * 1024u;
std::u16string WriteNewTestFile(uint32_t size);

// Deletes a file named by a UTF-16 path; false when it could not.
bool DeleteTempFile(const std::u16string& path);

// Whether a file (or anything else) is there under the path.
bool TempFileExists(const std::u16string& path);

}  // namespace ztsim

#endif  // ZTSIM_TEMP_FILE_H
