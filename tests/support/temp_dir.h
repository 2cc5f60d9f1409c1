// A private temporary folder for one test, and small whole-file helpers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qb::test {

// Writes the whole file, creating missing parent folders; false on failure.
bool writeFile(const std::string& path, std::string_view bytes);
// The whole file, or nothing when it cannot be read.
std::optional<std::string> readFile(const std::string& path);
// Creates the folder and its missing parents (mode 0755); true when it exists afterwards.
bool makeDirectories(const std::string& path);
// Removes a file or a folder tree (without following links); true when it is gone.
bool removeTree(const std::string& path);

// A new folder under $TMPDIR (else /tmp), made by mkdtemp and removed with everything in it
// when the object is destroyed.
class TempDir {
public:
    explicit TempDir(std::string_view prefix = "qb-test");
    ~TempDir();
    TempDir(TempDir&& other) noexcept;
    TempDir& operator=(TempDir&& other) noexcept;
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // False when the folder could not be made; path() is then empty.
    bool valid() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    // path() + "/" + relative.
    std::string file(std::string_view relative) const;
    bool write(std::string_view relative, std::string_view bytes) const;
    std::optional<std::string> read(std::string_view relative) const;

private:
    std::string path_;
};

} // namespace qb::test
