// Helper process for the registry tests: writes its own values into the registry file
// named by QUILLBROOK_REGISTRY, as several automatic-mode runs would at the same time.
//   registry_writer INDEX   sets "Writer<INDEX>"=dword:INDEX and "Text<INDEX>"="value INDEX"
#include <cstdio>
#include <cstdlib>
#include <string>

#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const DWORD index = DWORD(std::strtoul(argv[1], nullptr, 10));
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Vr\\Quillbrook", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return 3;
    }
    const std::string digits = std::to_string(index);
    const std::u16string number(digits.begin(), digits.end());
    const std::u16string dwordName = u"Writer" + number;
    const std::u16string textName = u"Text" + number;
    const std::u16string text = u"value " + number;
    LONG result = RegSetValueExW(key, dwordName.c_str(), 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&index), sizeof index);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(key, textName.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(text.c_str()),
                                DWORD((text.size() + 1) * sizeof(WCHAR)));
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? 0 : 4;
}
