// Lumenta.exe's resources, read back from the built program: the dialog templates control by control,
// the About item's text, the icon, the version and the manifest; and that it is a self-contained GUI
// program.

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "lumenta_identity.h"
#include "ui/win32/resource_ids.h"
#include "window_driver.h"

namespace {

const std::wstring kExe = window_driver::hostPath(LUMENTA_EXE);

struct Item {
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    int id = 0;
    std::wstring kind;  // window class, in lower case
    std::wstring text;
};

struct Dialog {
    DWORD style = 0, exStyle = 0;
    short cx = 0, cy = 0;
    std::wstring caption, font;
    WORD pointSize = 0;
    std::vector<Item> items;
};

class Reader {
public:
    explicit Reader(const BYTE* data) : p_(data) {}
    WORD word() {
        WORD w;
        std::memcpy(&w, p_, 2);
        p_ += 2;
        return w;
    }
    DWORD dword() {
        DWORD d;
        std::memcpy(&d, p_, 4);
        p_ += 4;
        return d;
    }
    std::wstring string() {
        std::wstring s;
        for (WORD c = word(); c != 0; c = word())
            s += static_cast<wchar_t>(c);
        return s;
    }
    // A window class: a name, or the ordinal of a predefined class.
    std::wstring windowClass() {
        static const wchar_t* const kClasses[] = {L"button",  L"edit",      L"static",
                                                  L"listbox", L"scrollbar", L"combobox"};
        std::wstring name = nameOrOrdinal();
        if (name.size() == 4 && name[0] == L'#') {
            int ordinal = std::stoi(name.substr(1));
            if (ordinal >= 0x80 && ordinal <= 0x85)
                return kClasses[ordinal - 0x80];
        }
        // Class names are case-insensitive.
        for (wchar_t& c : name)
            c = static_cast<wchar_t>(towlower(c));
        return name;
    }
    // A text or an ordinal ("#128").
    std::wstring nameOrOrdinal() {
        WORD first = word();
        if (first == 0)
            return L"";
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(word());
        std::wstring s(1, static_cast<wchar_t>(first));
        s += string();
        return s;
    }
    void alignTo4(const BYTE* base) {
        while ((p_ - base) % 4 != 0)
            ++p_;
    }
    void skip(std::size_t n) { p_ += n; }

private:
    const BYTE* p_;
};

class ExeResources : public ::testing::Test {
protected:
    void SetUp() override {
        module_ =
            LoadLibraryExW(kExe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << "cannot load " << LUMENTA_EXE;
    }
    void TearDown() override {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }

    // Types by number: 5 dialog, 14 icon group, 24 manifest.
    std::vector<BYTE> resource(LPCWSTR type, LPCWSTR name) {
        HRSRC found = FindResourceW(module_, name, type);
        if (found == nullptr)
            return {};
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module_, found)));
        return std::vector<BYTE>(data, data + SizeofResource(module_, found));
    }

    Dialog dialog(int id) {
        std::vector<BYTE> bytes = resource(MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(id));
        Dialog d;
        if (bytes.empty())
            return d;
        Reader r(bytes.data());
        EXPECT_EQ(r.word(), 1) << "extended template";
        EXPECT_EQ(r.word(), 0xFFFF);
        r.dword();  // help id
        d.exStyle = r.dword();
        d.style = r.dword();
        WORD count = r.word();
        r.word();
        r.word();
        d.cx = static_cast<short>(r.word());
        d.cy = static_cast<short>(r.word());
        EXPECT_EQ(r.nameOrOrdinal(), L"") << "no menu";
        EXPECT_EQ(r.nameOrOrdinal(), L"") << "the standard dialog class";
        d.caption = r.string();
        if (d.style & DS_SETFONT) {
            d.pointSize = r.word();
            r.word();  // weight
            r.word();  // italic, charset
            d.font = r.string();
        }
        for (WORD i = 0; i < count; ++i) {
            r.alignTo4(bytes.data());
            Item item;
            r.dword();  // help id
            r.dword();  // extended style
            item.style = r.dword();
            item.x = static_cast<short>(r.word());
            item.y = static_cast<short>(r.word());
            item.cx = static_cast<short>(r.word());
            item.cy = static_cast<short>(r.word());
            item.id = static_cast<int>(r.dword());
            item.kind = r.windowClass();
            item.text = r.nameOrOrdinal();
            r.skip(r.word());
            d.items.push_back(item);
        }
        return d;
    }

    HMODULE module_ = nullptr;
};

void expectItem(const Item& item, int id, const wchar_t* kind, const wchar_t* text, short x, short y,
                short cx, short cy) {
    SCOPED_TRACE(id);
    EXPECT_EQ(item.id, id);
    EXPECT_EQ(item.kind, kind);
    EXPECT_EQ(item.text, text);
    EXPECT_EQ(item.x, x);
    EXPECT_EQ(item.y, y);
    EXPECT_EQ(item.cx, cx);
    EXPECT_EQ(item.cy, cy);
    EXPECT_TRUE(item.style & WS_VISIBLE);
}

TEST_F(ExeResources, MainDialog102HasItsFrameAndControlsInTemplateOrder) {
    Dialog d = dialog(IDD_LUMENTA_DIALOG);
    EXPECT_EQ(d.caption, L"Tarvex V1.00");
    EXPECT_EQ(d.cx, 406);
    EXPECT_EQ(d.cy, 199);
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(d.font, L"MS Shell Dlg");
    const DWORD frame = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME |
                        DS_SETFONT | DS_FIXEDSYS;
    EXPECT_EQ(d.style, frame);
    EXPECT_EQ(d.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
    ASSERT_EQ(d.items.size(), 9u);

    const auto& i = d.items;
    expectItem(i[0], 1000, L"combobox", L"", 7, 19, 50, 81);
    EXPECT_EQ(i[0].style & 0xF, static_cast<DWORD>(CBS_DROPDOWNLIST));
    EXPECT_TRUE(i[0].style & CBS_SORT);
    EXPECT_TRUE(i[0].style & WS_VSCROLL);
    EXPECT_TRUE(i[0].style & WS_TABSTOP);
    expectItem(i[1], 1013, L"button", L"Open Port", 7, 69, 50, 25);
    EXPECT_EQ(i[1].style & 0xF, static_cast<DWORD>(BS_PUSHBUTTON));
    EXPECT_TRUE(i[1].style & WS_TABSTOP);
    expectItem(i[2], 1004, L"button", L"User Guide", 7, 132, 50, 25);
    EXPECT_TRUE(i[2].style & WS_TABSTOP);
    expectItem(i[3], 1093, L"msctls_trackbar32", L"", 350, 35, 18, 105);
    EXPECT_TRUE(i[3].style & TBS_VERT);
    EXPECT_TRUE(i[3].style & TBS_NOTICKS);
    EXPECT_TRUE(i[3].style & TBS_BOTH);
    EXPECT_TRUE(i[3].style & WS_TABSTOP);
    expectItem(i[4], 1096, L"button", L"H", 373, 56, 21, 10);
    EXPECT_EQ(i[4].style & 0xF, static_cast<DWORD>(BS_AUTORADIOBUTTON));
    EXPECT_TRUE(i[4].style & WS_GROUP);
    expectItem(i[5], 1097, L"button", L"L", 375, 108, 19, 10);
    EXPECT_EQ(i[5].style & 0xF, static_cast<DWORD>(BS_AUTORADIOBUTTON));
    EXPECT_FALSE(i[5].style & WS_GROUP) << "in the group of H";
    expectItem(i[6], IDOK, L"button", L"Exit", 178, 176, 50, 14);
    EXPECT_EQ(i[6].style & 0xF, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_TRUE(i[6].style & WS_TABSTOP);
    expectItem(i[7], 1095, L"button", L"CH", 338, 14, 56, 138);
    EXPECT_EQ(i[7].style & 0xF, static_cast<DWORD>(BS_GROUPBOX));
    expectItem(i[8], 1094, L"static", L"Static", 359, 141, 19, 8);
    EXPECT_EQ(i[8].style & SS_TYPEMASK, static_cast<DWORD>(SS_CENTER));
    EXPECT_TRUE(i[8].style & WS_GROUP);
}

TEST_F(ExeResources, AboutBox100HasItsFrameAndControls) {
    Dialog d = dialog(IDD_ABOUTBOX);
    EXPECT_EQ(d.caption, L"Orvia");
    EXPECT_EQ(d.cx, 170);
    EXPECT_EQ(d.cy, 62);
    EXPECT_EQ(d.font, L"MS Shell Dlg");
    EXPECT_EQ(d.style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT |
                                          DS_FIXEDSYS));
    ASSERT_EQ(d.items.size(), 4u);
    expectItem(d.items[0], -1, L"static", L"#128", 14, 14, 20, 20);
    EXPECT_EQ(d.items[0].style & SS_TYPEMASK, static_cast<DWORD>(SS_ICON));
    // Control ids are 32-bit in an extended template: -1 reads as 0xFFFFFFFF.
    expectItem(d.items[1], -1, L"static", L"Quillon", 42, 14, 114, 8);
    EXPECT_TRUE(d.items[1].style & SS_NOPREFIX);
    EXPECT_TRUE(d.items[1].style & WS_GROUP);
    // The version and the copyright, as on Linux.
    expectItem(d.items[2], -1, L"static", L"v" LUMENTA_VERSION L", \u00A9 2023 Lumenta", 42, 26, 114, 8);
    expectItem(d.items[3], IDOK, L"button", L"OK", 113, 41, 50, 14);
    EXPECT_EQ(d.items[3].style & 0xF, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_TRUE(d.items[3].style & WS_GROUP);
    EXPECT_TRUE(d.items[3].style & WS_TABSTOP);
}

TEST_F(ExeResources, String101IsTheAboutItem) {
    wchar_t text[64] = {};
    ASSERT_GT(LoadStringW(module_, IDS_ABOUTBOX, text, 64), 0);
    EXPECT_STREQ(text, L"&About Lumenta...");
}

TEST_F(ExeResources, Icon128Holds256PixelsWithAlpha) {
    std::vector<BYTE> group = resource(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_GE(group.size(), 6u);
    WORD count;
    std::memcpy(&count, group.data() + 4, 2);
    bool found = false;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = group.data() + 6 + 14 * i;  // width, height, colours, reserved, planes, bits, ...
        WORD bits;
        std::memcpy(&bits, entry + 6, 2);
        if (entry[0] == 0 && entry[1] == 0 && bits == 32)
            found = true;  // 0 stands for 256
    }
    EXPECT_TRUE(found) << count << " images, none of 256 x 256 at 32 bits";
}

TEST_F(ExeResources, VersionSaysLumenta1001) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(kExe.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(kExe.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    auto value = [&](const wchar_t* name) {
        wchar_t* text = nullptr;
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        if (!VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length))
            return std::wstring();
        return std::wstring(text);
    };
    EXPECT_EQ(value(L"FileDescription"), L"Lumenta");
    EXPECT_EQ(value(L"InternalName"), L"Lumenta.exe");
    EXPECT_EQ(value(L"OriginalFilename"), L"Lumenta.exe");
    EXPECT_EQ(value(L"FileVersion"), L"1.0.0.1");
    EXPECT_EQ(value(L"ProductVersion"), L"1.0.0.1");
}

TEST_F(ExeResources, ManifestRunsAsInvokerDpiAwareWithClassicControls) {
    std::vector<BYTE> bytes = resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    ASSERT_FALSE(bytes.empty());
    std::string manifest(bytes.begin(), bytes.end());
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
    EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos) << "no particular common-controls version";
}

TEST(LumentaExe, IsASelfContainedGuiProgram) {
    FILE* file = _wfopen(kExe.c_str(), L"rb");
    ASSERT_NE(file, nullptr) << LUMENTA_EXE;
    std::string bytes;
    char chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        bytes.append(chunk, n);
    std::fclose(file);
    ASSERT_GT(bytes.size(), 0x40u);
    LONG peOffset;
    std::memcpy(&peOffset, bytes.data() + 0x3C, 4);
    IMAGE_NT_HEADERS64 headers;
    std::memcpy(&headers, bytes.data() + peOffset, sizeof headers);
    EXPECT_EQ(headers.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    for (const char* runtime : {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"}) {
        EXPECT_EQ(bytes.find(runtime), std::string::npos) << runtime;
    }
}

}  // namespace
