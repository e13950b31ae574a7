// Reload on save: the files D3DXCompileShaderFromFileA compiled, watched; one report per save,
// however the editor writes it.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "compiler_test_util.h"
#include "platform.h"
#include "source_watch.h"

namespace {

using Millis = std::chrono::milliseconds;

class SourceWatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ID3DXBuffer* code = nullptr;
        ID3DXBuffer* messages = nullptr;
        main_fx_ = dir_.write("main.fx", pixel_shader("", "return 1;"));
        D3DXCompileShaderFromFileA(main_fx_.c_str(), NULL, NULL, "ps_main", "ps_3_0", 0, &code, &messages, NULL);
        if (code) code->Release();
        if (messages) messages->Release();
        ASSERT_TRUE(fxplatform::source_watch::start());
        EXPECT_EQ(saves_within(Millis(50)), 0);
    }
    void TearDown() override { fxplatform::source_watch::stop(); }

    // Polls as the viewer does, once a frame, and counts the saves reported.
    static int saves_within(Millis time)
    {
        int saves = 0;
        for (auto end = std::chrono::steady_clock::now() + time; std::chrono::steady_clock::now() < end;) {
            saves += fxplatform::source_watch::saved();
            std::this_thread::sleep_for(Millis(10));
        }
        return saves;
    }

    TempDir dir_;
    std::string main_fx_;
};

TEST_F(SourceWatch, ASaveInSeveralStepsIsReportedOnceAfterTheLastStep)
{
    FILE* file = std::fopen(main_fx_.c_str(), "w");  // truncates: the first change
    ASSERT_NE(file, nullptr);
    for (int step = 0; step < 3; ++step) {
        EXPECT_EQ(saves_within(Millis(20)), 0) << "reported before the save ended (step " << step << ")";
        std::fputs("// more\n", file);
        std::fflush(file);
    }
    std::fclose(file);
    EXPECT_EQ(saves_within(Millis(1000)), 1);
}

TEST_F(SourceWatch, ASaveByRenameIsReportedOnceAndOtherFilesNever)
{
    dir_.write("main.fx.swp", "x");
    dir_.write("other.fx", "x");
    EXPECT_EQ(saves_within(Millis(400)), 0);

    std::filesystem::rename(dir_.write("main.fx.new", "// saved\n"), main_fx_);
    EXPECT_EQ(saves_within(Millis(1000)), 1);

    // Reading it (the reload itself) is not a change.
    ID3DXBuffer* code = nullptr;
    D3DXCompileShaderFromFileA(main_fx_.c_str(), NULL, NULL, "ps_main", "ps_3_0", 0, &code, NULL, NULL);
    if (code) code->Release();
    EXPECT_EQ(saves_within(Millis(400)), 0);
}

TEST_F(SourceWatch, TheFolderDeletedIsReportedOnceAndNothingElseMoves)
{
    const std::string folder = std::filesystem::canonical(dir_.path()).string();
    EXPECT_TRUE(fxplatform::source_watch::take_lost_folders().empty());
    std::filesystem::remove_all(dir_.path());
    EXPECT_EQ(saves_within(Millis(1500)), 0) << "a deleted file is no save";
    EXPECT_EQ(fxplatform::source_watch::take_lost_folders(), std::vector<std::string>{folder});
    EXPECT_EQ(fxplatform::source_watch::names(folder), "main.fx");
    EXPECT_EQ(saves_within(Millis(100)), 0);
    EXPECT_TRUE(fxplatform::source_watch::take_lost_folders().empty()) << "said once";
}

}  // namespace
