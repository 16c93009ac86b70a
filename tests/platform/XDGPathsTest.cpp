#include "platform/XDGPaths.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace corvane {
namespace {

// Sets or clears environment variables for one test and puts them back afterwards.
class Environment {
public:
    ~Environment() {
        for (auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    void set(const std::string& name, const char* value) {
        if (saved_.find(name) == saved_.end()) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) {
            setenv(name.c_str(), value, 1);
        } else {
            unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST(XDGPaths, AbsoluteVariablesWin) {
    Environment env;
    env.set("XDG_CONFIG_HOME", "/x/config");
    env.set("XDG_STATE_HOME", "/x/state");
    env.set("XDG_DATA_HOME", "/x/data");
    EXPECT_EQ(XDGPaths::configHome(), "/x/config");
    EXPECT_EQ(XDGPaths::corvaneConfigDirectory(), "/x/config/corvane");
    EXPECT_EQ(XDGPaths::corvaneStateDirectory(), "/x/state/corvane");
    EXPECT_EQ(XDGPaths::corvaneDataDirectory(), "/x/data/corvane");
}

TEST(XDGPaths, UnsetOrRelativeVariablesFallBackToTheHomeFolder) {
    Environment env;
    env.set("HOME", "/home/someone");
    env.set("XDG_CONFIG_HOME", nullptr);
    env.set("XDG_STATE_HOME", "relative/state");
    env.set("XDG_DATA_HOME", "");
    EXPECT_EQ(XDGPaths::corvaneConfigDirectory(), "/home/someone/.config/corvane");
    EXPECT_EQ(XDGPaths::corvaneStateDirectory(), "/home/someone/.local/state/corvane");
    EXPECT_EQ(XDGPaths::corvaneDataDirectory(), "/home/someone/.local/share/corvane");
}

TEST(XDGPaths, WithoutHomeThePasswordEntryGivesTheHomeFolder) {
    Environment env;
    env.set("HOME", nullptr);
    env.set("XDG_CONFIG_HOME", nullptr);
    const passwd* entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(XDGPaths::home(), entry->pw_dir);
    EXPECT_EQ(XDGPaths::configHome(), std::filesystem::path(entry->pw_dir) / ".config");
}

}  // namespace
}  // namespace corvane
