#pragma once
// Fixture executables and a private environment for the identity tests.
#include <string>
#include <utility>
#include <vector>

#include "platform/versioninfo.h"
#include "testenv.h"

namespace fixtures {

// Version strings as Windows-1252 bytes, in the order they are written to the table.
using Strings = std::vector<std::pair<std::string, std::string>>;

// A version block with one string table (named Table, "040904B0" by default) holding Strings,
// the fixed file version FixedVersion ("" leaves it 0.0.0.0) and one translation entry
// matching the table.
TVersionInfo MakeVersionInfo(const Strings& Strings, const std::string& FixedVersion = "",
                             const std::string& Table = "040904B0");

// A minimal PE image (PE32, or PE32+ when Pe64) whose only resource is Info as its
// RT_VERSION. Written to Path; false when the file could not be written.
bool WritePeFile(const std::string& Path, const TVersionInfo& Info, bool Pe64 = false);
// Bytes of such an image.
std::vector<std::uint8_t> PeImage(const std::vector<std::uint8_t>& VersionBlock, bool Pe64);

bool WriteTextFile(const std::string& Path, const std::string& Text);

// A private HOME, XDG folders and registry locations for one test; removed with everything in
// it when the object goes.
class TempEnvironment {
  public:
    TempEnvironment() = default;
    TempEnvironment(const TempEnvironment&) = delete;
    TempEnvironment& operator=(const TempEnvironment&) = delete;

    // The scratch folder, ending with '/'.
    const std::string& Root() const { return root_; }
    // A new sub-folder of the scratch folder (parents created), ending with '/'.
    std::string Folder(const std::string& Relative) const;

  private:
    testenv::TempHome home_{"id"};
    std::string root_ = home_.Root() + "/";
};

} // namespace fixtures
