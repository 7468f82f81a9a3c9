// A temporary folder that is removed with everything in it at the end of scope.
#pragma once

#include <string>

namespace hostns {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Path of a name inside the folder.
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes a file (creating its folders); returns its path.
    std::string write(const std::string& name, const std::string& content, int mode = 0644) const;
    // The whole content of a file, empty when it can't be read.
    std::string read(const std::string& name) const;

private:
    std::string path_;
};

// Reads a whole file given by path; empty when it can't be read.
std::string read_file(const std::string& path);
// Writes a whole file; returns whether it worked.
bool write_file(const std::string& path, const std::string& content, int mode = 0644);

}  // namespace hostns
