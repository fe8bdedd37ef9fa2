// A launcher whose resources the build tool rewrote: it still starts and finds its table, and the
// system finds the splash picture, the icons and the version texts where the launcher and Explorer
// look for them. The jaunt program itself makes one with resources and included files too.
#include <cstdlib>
#include <string>

#include "appresources.h"
#include "e2etools.h"
#include "launcherimage.h"
#include "relocatedimage.h"
#include "relocations.h"

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

// A 24-bit BMP file of the given size, all one grey.
std::vector<uint8_t> bmpFile(int width, int height) {
    int stride = (width * 3 + 3) / 4 * 4;
    std::vector<uint8_t> b(54 + static_cast<size_t>(stride) * height, 0x80);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    std::fill(b.begin(), b.begin() + 54, 0);
    b[0] = 'B', b[1] = 'M';
    put32(2, static_cast<uint32_t>(b.size())), put32(10, 54), put32(14, 40), put32(18, width), put32(22, height);
    b[26] = 1, b[28] = 24;
    return b;
}

TEST_F(Resources, ALauncherThatJauntBuiltWithResourcesAndFilesRunsToMain) {
    const char* jaunt = std::getenv("JAUNT_TEST_JAUNT");
    ASSERT_NE(jaunt, nullptr);
    jaunt_test::writeBytes(dir.file("splash.bmp"), bmpFile(9, 6));
    jaunt_test::writeText(dir.file("data.txt"), "carried");
    jaunt_test::writeText(dir.file("app.toml"),
                          "[application]\nname = \"Hello App\"\nexecutable_type = 0\nversion = \"2.5.1\"\n"
                          "vendor = \"Vendor\"\nicon = \"splash.bmp\"\n"
                          "[java]\nmain_class = \"com.example.Main\"\n[splash]\nimage = \"splash.bmp\"\n"
                          "[files]\nruntime = false\ninclude = [\"data.txt\"]\n");
    jaunt_test::RunResult built = jaunt_test::run(L"\"" + jaunt_test::widen(jaunt_test::windowsPath(jaunt)) + L"\" build \"" +
                                                  jaunt_test::widen(dir.file("app.toml")) + L"\" --stub \"" +
                                                  jaunt_test::widen(jaunt_test::stubPath()) + L"\"");
    ASSERT_EQ(built.exitCode, 0u) << built.err;
    exe = dir.file("app.exe");

    jaunt_test::RunOptions options;
    options.set["JAUNT_RECORD"] = dir.file("record.txt");
    jaunt_test::RunResult result = start(L"", options);
    EXPECT_EQ(result.exitCode, 0u) << result.err;
    std::string record = jaunt_test::readText(dir.file("record.txt"));
    EXPECT_NE(record.find("call com/jaunt/runtime/WinLauncher.main"), std::string::npos) << record;
    size_t option = record.find("-Djaunt.tempDir=");
    ASSERT_NE(option, std::string::npos) << record;
    option += 16;
    std::string extracted = record.substr(option, record.find_first_of("\r\n", option) - option);
    ASSERT_FALSE(extracted.empty()) << record;
    EXPECT_EQ(jaunt_test::readText(extracted + "\\data.txt"), "carried");

    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeA(exe.c_str(), &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020005u);
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HANDLE picture = LoadImageA(module, MAKEINTRESOURCEA(10000), IMAGE_BITMAP, 0, 0, 0);
    EXPECT_NE(picture, nullptr);
    if (picture) DeleteObject(picture);
    EXPECT_NE(LoadIconA(module, MAKEINTRESOURCEA(1)), nullptr);
    FreeLibrary(module);
}

// Windows places every launcher at a random base: whatever jaunt build wrote into it, the launcher
// keeps the stub's relocations, and mapped at another base every pointer they name moves.
TEST_F(Resources, EveryLauncherThatJauntBuildsCanBePlacedAtAnotherBase) {
    const char* jaunt = std::getenv("JAUNT_TEST_JAUNT");
    ASSERT_NE(jaunt, nullptr);
    std::vector<uint8_t> stub = jaunt_test::readBytes(jaunt_test::stubPath());
    const std::vector<uint32_t> stubPointers = jaunt::readRelocations(stub).targets;
    jaunt_test::writeBytes(dir.file("picture.bmp"), bmpFile(40, 30));
    jaunt_test::writeText(dir.file("data.txt"), std::string(300000, 'd'));
    const std::string common = "[java]\nmain_class = \"com.example.Main\"\n";
    const std::pair<const char*, std::string> variants[] = {
        {"plain", "[files]\nruntime = false\n"},
        {"icon", "[application]\nicon = \"picture.bmp\"\nversion = \"1.2\"\nvendor = \"V\"\n[files]\nruntime = false\n"},
        {"splash", "[splash]\nimage = \"picture.bmp\"\n[files]\nruntime = false\n"},
        {"files", "[files]\nruntime = false\ninclude = [\"data.txt\"]\n"},
    };
    for (const auto& [name, settings] : variants) {
        SCOPED_TRACE(name);
        std::string config = dir.file(std::string(name) + ".toml");
        jaunt_test::writeText(config, settings + common);
        jaunt_test::RunResult built =
            jaunt_test::run(L"\"" + jaunt_test::widen(jaunt_test::windowsPath(jaunt)) + L"\" build \"" +
                            jaunt_test::widen(config) + L"\" --stub \"" + jaunt_test::widen(jaunt_test::stubPath()) + L"\"");
        ASSERT_EQ(built.exitCode, 0u) << built.err;
        std::vector<uint8_t> exe = jaunt_test::readBytes(dir.file(std::string(name) + ".exe"));
        EXPECT_EQ(jaunt::readRelocations(exe).targets, stubPointers);
        HMODULE module = jaunt_test::mapRelocated(exe, dir.file(std::string(name) + ".dll"));
        if (module) FreeLibrary(module);
    }
}

}  // namespace
