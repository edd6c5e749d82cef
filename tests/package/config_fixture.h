// Shared by the configuration and image tests: a scratch folder under the
// temporary folder, files written into it, the log switched on and read back.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "package/files.h"
#include "platform/host/host_control.h"
#include "platform/os.h"
#include "platform/wtext.h"

class ConfigFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(GetAppState(), 0, sizeof(AppState));
        GetAppState()->bDebug = 1;
        HostDebugClear();
        WCH temp[260];
        GetTempDir(temp, 260);
        ASSERT_NE(temp[0], 0);
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::u16string name = u"qn-config-";
        for (const char* p = info->name(); *p; ++p) name.push_back(char16_t(*p == '/' ? '_' : *p));
        FormatW(dir_, 260, u"%s\\%s", temp, name.c_str());
        os::CreateDirectoryW(dir_);
        DeleteFilesInDir(dir_, u"*.*");
    }
    void TearDown() override {
        DeleteFilesInDir(dir_, u"*.*");
        os::RemoveDirectoryW(dir_);
        std::memset(GetAppState(), 0, sizeof(AppState));
    }

    std::u16string Path(const char16_t* name) const { return std::u16string(dir_) + u"\\" + name; }

    std::u16string Write(const char16_t* name, const void* bytes, size_t size) {
        std::u16string path = Path(name);
        EXPECT_TRUE(WriteWholeFile(path.c_str(), bytes, DWORD(size)));
        return path;
    }
    std::u16string Write(const char16_t* name, const std::string& text) { return Write(name, text.data(), text.size()); }
    std::u16string Write(const char16_t* name, const std::vector<BYTE>& bytes) {
        return Write(name, bytes.data(), bytes.size());
    }

    // The log lines without their 23-unit prefix.
    static std::vector<std::u16string> LogLines() {
        std::vector<std::u16string> lines;
        for (const std::u16string& l : HostDebugLines()) lines.push_back(l.size() >= 23 ? l.substr(23) : l);
        return lines;
    }
    static bool Logged(const std::u16string& line) {
        for (const std::u16string& l : LogLines())
            if (l == line) return true;
        return false;
    }

    WCH dir_[260];
};
