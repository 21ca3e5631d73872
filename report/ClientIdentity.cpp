#include "report/ClientIdentity.h"

#include "mainwnd/Layout.h"

#include <windows.h>

#include <vector>

std::wstring GetFileVersionString(const std::wstring& fileName, const std::wstring& key) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(fileName.c_str(), &handle);
    if (size == 0)
        return std::wstring();
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(fileName.c_str(), 0, size, block.data()))
        return std::wstring();

    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        length < sizeof(Translation))
        return std::wstring();

    wchar_t prefix[64];
    wsprintfW(prefix, L"\\StringFileInfo\\%04x%04x\\", translation->language,
              translation->codePage);
    std::wstring path = prefix + key;
    wchar_t* value = nullptr;
    length = 0;
    if (VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) &&
        length != 0 && value)
        return std::wstring(value);
    return std::wstring();
}

std::wstring ReadChannel(const std::wstring& appDir) {
    std::wstring file = ExtendedPath(appDir + L"config.ini");
    wchar_t buffer[260] = {};
    GetPrivateProfileStringW(L"Tovo", L"channel", L"", buffer, 260, file.c_str());
    return ChannelFromValue(buffer);
}
