// The launchers' Windows resources, read back the way Windows reads them:
// the version information through the version API and the application
// manifest as resource 1 of type RT_MANIFEST.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"
#include "support/windows_process.h"

namespace {

struct Launcher {
  const char* in_build_tree;  // see test_program()
  const char16_t* display_name;
  const char16_t* file_name;
};

const Launcher kLaunchers[] = {
    {ORVANE_PATH, u"" ORVANE_DISPLAY_NAME, u"orvane.exe"},
    {KELMIS_PATH, u"" KELMIS_DISPLAY_NAME, u"kelmis.exe"},
};

std::u16string version_string(const std::vector<char>& info, const wchar_t* name) {
  std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(info.data(), query.c_str(), &value, &length) || !value) return u"(missing)";
  return std::u16string(static_cast<const char16_t*>(value));
}

TEST(LauncherResources, VersionInformationNamesTheLauncher) {
  const std::u16string version = u16(LAUNCHERS_VERSION);
  unsigned major = 0, minor = 0, patch = 0;
  ASSERT_EQ(sscanf(LAUNCHERS_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
  for (const Launcher& launcher : kLaunchers) {
    std::u16string path = test_program(u16(launcher.in_build_tree));
    SCOPED_TRACE(utf8(path));
    const wchar_t* wide_path = wide(path);
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(wide_path, &ignored);
    ASSERT_GT(size, 0u) << GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(wide_path, 0, size, info.data()));

    EXPECT_EQ(version_string(info, L"FileDescription"), launcher.display_name);
    EXPECT_EQ(version_string(info, L"ProductName"), launcher.display_name);
    EXPECT_EQ(version_string(info, L"OriginalFilename"), launcher.file_name);
    EXPECT_EQ(version_string(info, L"FileVersion"), version);
    EXPECT_EQ(version_string(info, L"ProductVersion"), version);

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, (major << 16) | minor);
    EXPECT_EQ(fixed->dwFileVersionLS, patch << 16);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
  }
}

// Element nesting of a small XML text: every start tag closed in order,
// nothing after the root. Enough to catch a manifest that Windows would
// refuse to load (a refused manifest stops the program from starting).
bool well_formed(const std::string& xml, std::string* why) {
  std::vector<std::string> open;
  size_t i = 0;
  bool seen_root = false;
  while ((i = xml.find('<', i)) != std::string::npos) {
    size_t end = xml.find('>', i);
    if (end == std::string::npos) return *why = "unterminated tag", false;
    std::string tag = xml.substr(i + 1, end - i - 1);
    i = end + 1;
    if (tag.empty()) return *why = "empty tag", false;
    if (tag[0] == '?' || tag[0] == '!') continue;
    if (tag[0] == '/') {
      std::string name = tag.substr(1);
      if (open.empty() || open.back() != name) return *why = "unbalanced </" + name + ">", false;
      open.pop_back();
      continue;
    }
    if (open.empty() && seen_root) return *why = "second root", false;
    seen_root = true;
    bool self_closing = tag.back() == '/';
    std::string name = tag.substr(0, tag.find_first_of(" \t\r\n/"));
    if (!self_closing) open.push_back(name);
  }
  if (!open.empty()) return *why = "unclosed <" + open.back() + ">", false;
  return seen_root;
}

TEST(LauncherResources, ManifestAsksForWhatTheLaunchersNeed) {
  for (const Launcher& launcher : kLaunchers) {
    std::u16string path = test_program(u16(launcher.in_build_tree));
    SCOPED_TRACE(utf8(path));
    HMODULE module = LoadLibraryExW(wide(path), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << GetLastError();
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(resource, nullptr) << "manifest resource 1";
    HGLOBAL loaded = LoadResource(module, resource);
    ASSERT_NE(loaded, nullptr);
    std::string manifest(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, resource));
    FreeLibrary(module);

    std::string why;
    EXPECT_TRUE(well_formed(manifest, &why)) << why << "\n" << manifest;
    const char* required[] = {
        "requestedExecutionLevel level=\"asInvoker\"",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // Windows 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // Windows 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
        ">true/pm</dpiAware>",
        ">PerMonitorV2, PerMonitor</dpiAwareness>",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "publicKeyToken=\"6595b64144ccf1df\"",
    };
    for (const char* text : required) EXPECT_NE(manifest.find(text), std::string::npos) << text;
  }
}

}  // namespace
