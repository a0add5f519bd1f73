#pragma once
#include <string>
#include <vector>

// The identity of an executable as the update check names it: a displayed product and company
// taken from its version resource, cleaned by generic steps and the rule tables.

struct TDisplayedFileInfo {
    std::string Product;
    std::string Company;
};

// The eight strings of a version resource, Windows-1252 bytes; empty when absent.
struct FileVersionInfoRec {
    std::string FileDescription;
    std::string CompanyName;
    std::string FileVersion;
    std::string InternalName;
    std::string LegalCopyright;
    std::string OriginalFilename;
    std::string ProductName;
    std::string ProductVersion;
};

// A fixed text that stands for a codec pack or shell extension with no single executable.
struct ProductCodeInfo {
    const char* Code;
    const char* Product;
    const char* Company;
    std::string (*VersionText)();
};
// The entry for Path when Path is exactly one of the product codes, else nullptr.
const ProductCodeInfo* FindProductCode(const std::string& Path);

// The path that a 32-bit process on a 64-bit system must use to see the native system files.
std::string NativeSystemPath(const std::string& Path);
// The same rule with its inputs given, so it can be exercised without such a system.
std::string NativeSystemPathFor(const std::string& Path, bool Wow64,
                                const std::string& SystemFolder);

FileVersionInfoRec ReadFileVersionInfo(const std::string& Path);
// Appends "Key=Value" for each key found through the first translation entry.
void QueryVersionStrings(const std::string& Path, std::vector<std::string>& List);

TDisplayedFileInfo GetDisplayedFileInfo(const std::string& Path);
std::string DisplayedProductName(const std::string& Path);

std::string CleanDisplayText(const std::string& Text);
// The value of the last line holding <Tag>...</Tag>; "" when none does.
std::string XmlTagValue(const std::string& Tag, const std::vector<std::string>& Lines);

// The Adobe AIR application descriptor, relative to the executable's folder.
inline constexpr const char* kAirDescriptor = "META-INF/AIR/application.xml";
