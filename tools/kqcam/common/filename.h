// File names from --filename patterns, and the one way kqcam writes a file:
// under NAME.part first, renamed when complete, never over an existing file
// unless --force-overwrite.
#ifndef KQCAM_FILENAME_H
#define KQCAM_FILENAME_H

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

namespace kqcam {

// Throws a usage Failure naming the first code the pattern does not know.
// Codes: %n counter, %Nn counter zero-padded to N digits (%03n), %C the
// file's suffix (from its data), %% a percent sign, and the date/time codes %Y %y %m %d %H
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

// The suffix that names the type of a file from its first bytes ("jpg",
// "tif"), or an empty string for a type kqcam does not know.
std::string SuffixOfData(const std::uint8_t* head, std::size_t size);

// What tells one file from another on its volume: device and inode number
// (POSIX), volume serial and file index (Windows).
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool known = false;
};

// Reads the whole file at `path` if it is still the file `identity` names:
// opened without following a symbolic link, a regular file, the same
// volume and index. False otherwise (replaced, linked elsewhere, gone).
bool ReadSameFile(const std::string& path, const FileIdentity& identity, std::string* data);

// What happens when the name a pattern gives is taken already.
enum class ExistingFiles {
    kMovePast,   // take the next counter value (or "-1", "-2" before the suffix)
    kSkip,       // write nothing; the counter value is used up
    kOverwrite,  // replace the file once the new one is complete
};

// A file being written. The data goes to NAME.part, created exclusively, so
// a run that is killed leaves no cut file under NAME and two runs never
// write into the same file; Commit renames it to NAME (never replacing a
// file that appeared meanwhile, unless overwriting). Destroyed without
// Commit, it removes NAME.part.
class OutputFile {
public:
    // Creates the folders and NAME.part for the first free name the pattern
    // gives with the counter values after *counter, which is advanced past
    // every value tried. `suffix` fills %C until Commit knows better.
    // Returns null only with kSkip, when the name is taken (given in
    // *skipped). Throws a Failure when the folder or the file cannot be
    // created.
    static std::unique_ptr<OutputFile> Create(const std::string& pattern, const std::string& suffix,
                                              ExistingFiles existing, unsigned* counter,
                                              std::string* skipped);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The name the file gets on Commit (as far as it is known).
    const std::string& Path() const { return path_; }
    // Appends bytes; false after a failure, with Error() the errno.
    bool Write(const void* data, std::size_t size);
    int Error() const { return error_; }
    std::uint64_t Size() const { return size_; }
    // Cuts the file to its first `size` bytes and forgets a failed write (a
    // movie trimmed to its last whole frame after the disk filled up).
    bool TruncateTo(std::uint64_t size);
    // Closes the file and gives it its name. A `realSuffix` other than the
    // one given to Create re-expands a pattern with %C. Returns the final
    // path; throws a Failure (and removes NAME.part) when it cannot.
    std::string Commit(const std::string& realSuffix = std::string());
    // Closes and removes NAME.part.
    void Discard();
    // Which file Commit named (known once committed), for reading it back
    // later only if it is still that file.
    const FileIdentity& Identity() const { return identity_; }

private:
    OutputFile() = default;
    std::string FreeName(const std::string& suffix);
    std::string pattern_;
    std::string suffix_;
    ExistingFiles existing_ = ExistingFiles::kMovePast;
    unsigned* counter_ = nullptr;
    unsigned value_ = 0;   // counter value of the name
    unsigned extra_ = 0;   // "-N" for a pattern without counter
    std::tm when_{};
    std::string path_;
    std::string part_;
    int fd_ = -1;
    FileIdentity identity_;
    int error_ = 0;
    std::uint64_t size_ = 0;
};

}  // namespace kqcam

#endif  // KQCAM_FILENAME_H
