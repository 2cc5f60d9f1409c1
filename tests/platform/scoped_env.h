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
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

    // value nullptr unsets the variable.
    void set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }

    // Clears every variable that names the locale, so a test starts from "no locale".
    void clearLocale() {
        for (const char* name : {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANG"}) set(name, nullptr);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
