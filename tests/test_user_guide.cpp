// Help > Open Manual in the desktop program, headless: the request finds the guide the build
// typeset beside the programs and hands it to the document opener; a missing guide or an
// opener that fails is a message box, and nothing is opened.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/shell.h"
#include "app/user_guide.h"
#include "support/log.h"
#include "support/paths.h"
#include "testlib.h"
#include "ui/menu.h"

namespace {

struct Seen {
    std::vector<std::string> opened;
    std::vector<std::string> messages;  // title, then text
    bool open_result = true;
};

bool record_open(void* context, const char* path)
{
    Seen& seen = *(Seen*)context;
    seen.opened.push_back(path);
    return seen.open_result;
}

void record_message(void* context, const char* text, const char* title, int)
{
    Seen& seen = *(Seen*)context;
    seen.messages.push_back(std::string(title) + "|" + text);
}

bool no(void*, const char*, const char*) { return false; }

struct GuideShell {
    TempDir data;
    Seen seen;
    std::unique_ptr<Shell> sh = std::make_unique<Shell>();
    bool started = false;
    GuideShell()
    {
        setenv("SONOGRAPHICA_DATA_DIR", data.path.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("SONOGRAPHICA_WINDOW_SIZE", "900x600", 1);
        unsetenv("SONOGRAPHICA_SCRIPT");
        unsetenv("SONOGRAPHICA_EXIT_AFTER_FRAMES");
        data_folder_reset();
        sh->question = no;
        sh->message = record_message;
        sh->open_document = record_open;
        sh->hook_context = &seen;
        char name[] = "sonographica";
        char* argv[] = {name};
        started = shell_startup(*sh, 1, argv);
        sh->synthetic_pointer = true;
        if (started)
            shell_frame(*sh);
    }
    ~GuideShell()
    {
        shell_shutdown(*sh);
        log_close();
        unsetenv("SONOGRAPHICA_WINDOW_SIZE");
        unsetenv("SONOGRAPHICA_GUIDE");
    }
    // Help > Open Manual... chosen, then the frame that carries the request out.
    void open_manual()
    {
        menu_action(sh->menus, sh->app, 9010);
        shell_frame(*sh);
    }
};

// The build puts the guide beside the programs, the test programs included.
std::string built_guide() { return path_join(executable_folder(), user_guide_name); }

TEST(UserGuide, OpenManualHandsTheBuiltGuideToTheViewer)
{
    if (!file_exists(built_guide()))
        GTEST_SKIP() << "the guide was not typeset (groff missing): " << built_guide();
    unsetenv("SONOGRAPHICA_GUIDE");
    GuideShell run;
    ASSERT_TRUE(run.started);
    EXPECT_EQ(user_guide_path(), built_guide());
    run.open_manual();
    ASSERT_EQ(run.seen.opened.size(), 1u);
    EXPECT_EQ(run.seen.opened[0], built_guide());
    EXPECT_TRUE(run.seen.messages.empty());
    // The request is carried out once, not on every later frame.
    shell_frame(*run.sh);
    EXPECT_EQ(run.seen.opened.size(), 1u);
    EXPECT_EQ(run.sh->app.requests.open_manual, 0);
}

TEST(UserGuide, TheEnvironmentChoosesTheGuideAndAMissingOneIsAMessage)
{
    TempDir dir;
    const std::string mine = dir.file("my guide.pdf");
    write_text_file(mine, "%PDF-1.4\n");
    setenv("SONOGRAPHICA_GUIDE", mine.c_str(), 1);
    {
        GuideShell run;
        ASSERT_TRUE(run.started);
        run.open_manual();
        ASSERT_EQ(run.seen.opened.size(), 1u);
        EXPECT_EQ(run.seen.opened[0], mine);
    }
    // A chosen guide that is not there is not replaced by the built one: the user is told.
    const std::string missing = dir.file("gone.pdf");
    setenv("SONOGRAPHICA_GUIDE", missing.c_str(), 1);
    EXPECT_EQ(user_guide_path(), "");
    GuideShell run;
    ASSERT_TRUE(run.started);
    run.open_manual();
    EXPECT_TRUE(run.seen.opened.empty());
    ASSERT_EQ(run.seen.messages.size(), 1u);
    EXPECT_EQ(run.seen.messages[0].rfind("Open Manual|", 0), 0u) << run.seen.messages[0];
    EXPECT_NE(run.seen.messages[0].find(missing), std::string::npos) << run.seen.messages[0];
}

TEST(UserGuide, AViewerThatFailsIsAMessage)
{
    TempDir dir;
    const std::string mine = dir.file("guide.pdf");
    write_text_file(mine, "%PDF-1.4\n");
    setenv("SONOGRAPHICA_GUIDE", mine.c_str(), 1);
    GuideShell run;
    ASSERT_TRUE(run.started);
    run.seen.open_result = false;
    run.open_manual();
    EXPECT_EQ(run.seen.opened.size(), 1u);
    ASSERT_EQ(run.seen.messages.size(), 1u);
    EXPECT_NE(run.seen.messages[0].find("could not be opened"), std::string::npos) << run.seen.messages[0];
}

}  // namespace
