#pragma once

#include <string>
#include <vector>

namespace vennadar {

// What the program asks of the desktop: a browser, other programs, its own place on disk.
// Addresses and paths are UTF-8. Outcomes are not reported.
class Desktop {
  public:
    virtual ~Desktop() = default;
    // Opens an address with the user's default browser.
    virtual void OpenUrl(const std::string& address) = 0;
    // Starts a program with an argument list (no shell) and does not wait for it. False when it
    // could not be started.
    virtual bool StartProgram(const std::string& program, const std::vector<std::string>& args) = 0;
    // The directory of the running program, without a trailing slash.
    virtual std::string ProgramDirectory() = 0;
    // The full path of the running program's executable file.
    virtual std::string ExecutablePath() = 0;
};

}  // namespace vennadar
