#pragma once
// Shared fixture of the window tests: each test gets its own HOME, XDG and registry folders,
// and every message box, file dialog and shell launch is answered or recorded instead of shown.
#include "engine/bitmap32.h"
#include "platform/C_WideDialogs.h"
#include "platform/shell.h"
#include "services/U_Log.h"
#include "services/datafolder.h"
#include "ui/U_MainDlg.h"
#include "ui/application.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

class UiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        root = dir_.path().toStdString();
        for (const char* name :
             {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME",
              "HUELET_REGISTRY_DIR", "HUELET_MACHINE_REGISTRY_DIR"}) {
            const char* old = std::getenv(name);
            saved_.push_back({name, old ? old : ""});
        }
        SetEnv("HOME", root + "/home");
        SetEnv("XDG_DATA_HOME", root + "/data");
        SetEnv("XDG_CONFIG_HOME", root + "/config");
        SetEnv("XDG_STATE_HOME", root + "/state");
        SetEnv("XDG_CACHE_HOME", root + "/cache");
        SetEnv("HUELET_REGISTRY_DIR", root + "/user");
        SetEnv("HUELET_MACHINE_REGISTRY_DIR", root + "/machine");
        SetMessageBoxHandlerForTests([this](const TMessageBoxRequest& request) {
            messages.push_back(request.Text);
            details.push_back(request.Detail);
            if (request.ButtonCodes.size() > 1)
                return answer_yes ? kIdYes : kIdNo;
            return kIdOk;
        });
        SetOpenDialogHandlerForTests([this](std::string& name) {
            prefilled.push_back(name);
            if (dialog_answers.empty())
                return false;
            name = dialog_answers.front();
            dialog_answers.pop_front();
            return true;
        });
        SetShellLauncherForTests([this](const std::string& target) {
            launched.push_back(target);
            return true;
        });
    }

    void TearDown() override {
        windows_.clear();
        SetMessageBoxHandlerForTests({});
        SetOpenDialogHandlerForTests({});
        SetShellLauncherForTests({});
        for (const auto& [name, value] : saved_)
            setenv(name.c_str(), value.c_str(), 1);
    }

    static void SetEnv(const char* name, const std::string& value) {
        std::filesystem::create_directories(value);
        setenv(name, value.c_str(), 1);
    }

    // A window after its first activation: thresholds 40, no picture.
    TMainDlg& NewWindow() {
        windows_.push_back(std::make_unique<TMainDlg>());
        windows_.back()->AppEvtActivate();
        return *windows_.back();
    }

    // How many log lines carry exactly this message.
    static int Count(const TMainDlg& w, const std::string& message) {
        int n = 0;
        for (const std::string& line : w.log->Lines()) {
            const size_t tab = line.find('\t', line.find('\t') + 1);
            if (tab != std::string::npos && line.substr(tab + 1) == message)
                ++n;
        }
        return n;
    }
    static int Renders(const TMainDlg& w) { return Count(w, "Rendering..."); }

    static std::string DataFolder() { return UserDataFolder(ExecutablePath(), "Huelet"); }

    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static void WriteText(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    // A 32-bit top-down "BM" file: its colours survive exactly, whatever its name says.
    static void WriteBmp(const std::string& path, int w, int h,
                         const std::function<TColor32(int, int)>& color) {
        std::string data(54, '\0');
        auto put = [&data](size_t at, uint32_t v, int bytes) {
            for (int i = 0; i < bytes; ++i)
                data[at + i] = static_cast<char>((v >> (8 * i)) & 255);
        };
        data[0] = 'B';
        data[1] = 'M';
        put(2, 54 + 4u * w * h, 4);
        put(10, 54, 4);
        put(14, 40, 4);
        put(18, static_cast<uint32_t>(w), 4);
        put(22, static_cast<uint32_t>(-h), 4);
        put(26, 1, 2);
        put(28, 32, 2);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const TColor32 c = color(x, y);
                for (int i = 0; i < 4; ++i)
                    data += static_cast<char>((c >> (8 * i)) & 255);
            }
        WriteText(path, data);
    }

    // A small real JPEG with a few distinct colours.
    std::string MakeJpeg(const std::string& name, int w = 40, int h = 30) {
        TBitmap32 bmp;
        bmp.Resize(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                bmp.SetPixelAt(x, y, x < w / 2 ? 0xFFC83214u : 0xFF1E5AB4u);
        const std::string path = root + "/" + name;
        bmp.WriteJpegFile(path);
        return path;
    }

    std::string root;
    std::vector<std::string> messages;
    std::vector<std::string> details; // each box's detail text, "" for none
    std::vector<std::string> prefilled;
    std::deque<std::string> dialog_answers;
    std::vector<std::string> launched;
    bool answer_yes = true;

  private:
    QTemporaryDir dir_;
    std::vector<std::pair<std::string, std::string>> saved_;
    std::vector<std::unique_ptr<TMainDlg>> windows_;
};
