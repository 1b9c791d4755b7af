// Reading a program's windows back from outside.
#include "driver/read_back.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "driver/report.h"
#include "driver/text.h"

namespace driver {

POINT ToScreen(HWND w, POINT client) {
    ClientToScreen(w, &client);
    return client;
}

RECT WindowRect(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return r;
}

RECT ClientRect(HWND w) {
    RECT r{};
    GetClientRect(w, &r);
    return r;
}

RECT RectInParent(HWND child) {
    RECT r = WindowRect(child);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

COLORREF ScreenPixel(POINT screen) {
    HDC dc = GetDC(nullptr);
    COLORREF c = GetPixel(dc, screen.x, screen.y);
    ReleaseDC(nullptr, dc);
    return c;
}

std::vector<std::uint32_t> DrawOffScreen(int width, int height, const std::function<bool(HDC)>& draw) {
    std::vector<std::uint32_t> pixels;
    if (width <= 0 || height <= 0)
        return pixels;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height; // top-down: the first row is the top one
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (mem && bmp) {
        HGDIOBJ old = SelectObject(mem, bmp);
        if (draw(mem)) {
            GdiFlush();
            const auto* p = static_cast<const std::uint32_t*>(bits);
            pixels.assign(p, p + static_cast<std::size_t>(width) * height);
        }
        SelectObject(mem, old);
    }
    if (bmp)
        DeleteObject(bmp);
    if (mem)
        DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return pixels;
}

std::vector<std::uint32_t> CaptureScreen(const RECT& screen) {
    return DrawOffScreen(Width(screen), Height(screen), [&](HDC mem) {
        HDC dc = GetDC(nullptr);
        const bool copied =
            BitBlt(mem, 0, 0, Width(screen), Height(screen), dc, screen.left, screen.top, SRCCOPY) != FALSE;
        ReleaseDC(nullptr, dc);
        return copied;
    });
}

bool SaveScreenshot(const std::wstring& path) {
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const std::vector<std::uint32_t> pixels = CaptureScreen({x, y, x + w, y + h});
    if (pixels.empty())
        return false;
    BITMAPINFOHEADER bih{};
    bih.biSize = sizeof bih;
    bih.biWidth = w;
    bih.biHeight = h; // bottom-up, 24 bits: the layout every reader of BMP files takes
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    bih.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    bih.biSizeImage = stride * static_cast<DWORD>(h);
    std::string rows(bih.biSizeImage, '\0');
    for (int row = 0; row < h; ++row) {
        char* out = rows.data() + static_cast<std::size_t>(h - 1 - row) * stride;
        for (int col = 0; col < w; ++col) {
            const std::uint32_t p = pixels[static_cast<std::size_t>(row) * w + col];
            *out++ = static_cast<char>(p & 0xFF);
            *out++ = static_cast<char>((p >> 8) & 0xFF);
            *out++ = static_cast<char>((p >> 16) & 0xFF);
        }
    }
    BITMAPFILEHEADER bfh{};
    bfh.bfType = 0x4D42;
    bfh.bfOffBits = sizeof bfh + sizeof bih;
    bfh.bfSize = bfh.bfOffBits + bih.biSizeImage;
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(&bfh), sizeof bfh);
    out.write(reinterpret_cast<const char*>(&bih), sizeof bih);
    out.write(rows.data(), static_cast<std::streamsize>(rows.size()));
    return static_cast<bool>(out);
}

HWND FocusedWindow(HWND w) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

HWND Child(HWND parent, int id) {
    return GetDlgItem(parent, id);
}

std::wstring ClassName(HWND w) {
    wchar_t buf[256];
    int n = GetClassNameW(w, buf, static_cast<int>(std::size(buf)));
    return std::wstring(buf, static_cast<std::size_t>(std::max(0, n)));
}

std::string DescribeWindow(HWND w) {
    char handle[32];
    std::snprintf(handle, sizeof handle, "%p", static_cast<void*>(w));
    return "window " + std::string(handle) + " (" + Utf8(ClassName(w)) + ")";
}

std::optional<std::wstring> ReadText(HWND w, DWORD timeoutMs) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, timeoutMs, &length))
        return std::nullopt;
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                             timeoutMs, &copied))
        return std::nullopt;
    text.resize(std::min<std::size_t>(copied, length));
    return text;
}

std::wstring TextW(HWND w) {
    std::optional<std::wstring> text = ReadText(w);
    if (!text) {
        ReportFailure("WM_GETTEXT got no answer from " + DescribeWindow(w));
        return {};
    }
    return *text;
}

std::string TextGbk(HWND w) {
    return ToGbk(TextW(w));
}

} // namespace driver
