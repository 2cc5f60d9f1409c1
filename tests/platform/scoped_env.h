// Sets or unsets environment variables for one test and restores them afterwards.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            put(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
        }
    }

    // value nullptr unsets the variable.
    void set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        put(name, value);
    }

    // Clears every variable that names the locale, so a test starts from "no locale".
    void clearLocale() {
        for (const char* name : {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANG"}) set(name, nullptr);
    }

private:
    static void put(const char* name, const char* value) {
#ifdef _WIN32
        _putenv_s(name, value ? value : ""); // an empty value removes the name
#else
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
#endif
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
