// A launcher whose resources the build tool rewrote: it still starts and finds its table, and the
// system finds the splash picture, the icons and the version texts where the launcher and Explorer
// look for them.
#include <string>

#include "appresources.h"
#include "e2etools.h"
#include "launcherimage.h"

namespace {

class Resources : public jaunt_test::LauncherTest {
protected:
    void SetUp() override { addJre(); }
};

TEST_F(Resources, TheSystemFindsWhatTheBuildToolWrote) {
    jaunt::ApplicationResources resources;
    resources.hasSplash = true;
    resources.splash.width = 7;
    resources.splash.height = 5;
    resources.splash.rgba.assign(7 * 5 * 4, 200);
    resources.icon = jaunt::iconFromPicture(resources.splash);
    resources.version = {"3.1", "Vendor", "Description", "(c) someone", "Hello App", "app.exe"};
    std::vector<uint8_t> stub = jaunt::addApplicationResources(jaunt_test::readBytes(jaunt_test::stubPath()), resources);
    exe = dir.file("app.exe");
    jaunt_test::writeBytes(exe, jaunt::makeLauncher(stub, jaunt::encodeTable(jaunt_test::consoleRecords(), {}), {}));

    // The loader accepts the image and the launcher finds its table after the larger section.
    jaunt_test::RunResult result = start();
    EXPECT_EQ(result.exitCode, 0u) << result.err;

    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << GetLastError();
    HANDLE picture = LoadImageA(module, MAKEINTRESOURCEA(10000), IMAGE_BITMAP, 0, 0, 0);
    ASSERT_NE(picture, nullptr) << GetLastError();
    BITMAP bitmap = {};
    ASSERT_NE(GetObjectA(picture, sizeof bitmap, &bitmap), 0);
    EXPECT_EQ(bitmap.bmWidth, 7);
    EXPECT_EQ(bitmap.bmHeight, 5);
    DeleteObject(picture);
    EXPECT_NE(LoadIconA(module, "ID_SPLASH_ICON"), nullptr) << GetLastError();
    EXPECT_NE(LoadIconA(module, MAKEINTRESOURCEA(1)), nullptr) << GetLastError();
    HANDLE large = LoadImageA(module, "ID_SPLASH_ICON", IMAGE_ICON, 48, 48, 0);
    EXPECT_NE(large, nullptr) << GetLastError();
    if (large) DestroyIcon(static_cast<HICON>(large));
    FreeLibrary(module);

    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
    ASSERT_NE(size, 0u) << GetLastError();
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00030001u);
    char* text = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\ProductName", reinterpret_cast<void**>(&text),
                               &length));
    EXPECT_EQ(std::string(text), "Hello App");
}

}  // namespace
