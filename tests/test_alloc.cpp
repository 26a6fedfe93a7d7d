#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "support/alloc.h"
#include "support/log.h"
#include "testlib.h"

// A scripted platform allocator: requests of `target` bytes fail `target_failures` times,
// other requests succeed. Large blocks are 1 byte (wrmalloc never writes into the chunks),
// so no test needs real gigabytes.
static size_t target = 0;
static int target_failures = 0;
static int target_calls = 0;
static std::vector<size_t> other_requests;

static void* scripted_alloc(size_t size)
{
    if (size == target) {
        target_calls++;
        if (target_failures > 0) {
            target_failures--;
            return nullptr;
        }
    } else {
        other_requests.push_back(size);
    }
    return malloc(size <= 4096 ? size : 1);
}

struct ScriptedAllocator : ::testing::Test {
    TempDir dir;
    int saved_out = -1;
    void SetUp() override
    {
        target_calls = 0;
        other_requests.clear();
        alloc_set_primitive(scripted_alloc);
        ASSERT_EQ(log_open(dir.path.c_str()), 1);
        saved_out = dup(1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    void TearDown() override
    {
        dup2(saved_out, 1);
        close(saved_out);
        alloc_set_primitive(nullptr);
        alloc_set_realloc_primitive(nullptr);
        log_close();
    }
    std::string logged() const
    {
        std::string text = read_text_file(dir.file("logfile.txt"));
        return text.substr(std::string("Sonographica 1.11.2\n\nOutput log\n\n").size());
    }
};

TEST(Alloc, ChunkPlans)
{
    struct Case {
        size_t size, chunk, count;
    } cases[] = {
        {16u << 20, 512u << 10, 32},      // 16 MiB
        {64u << 20, 1u << 20, 65},        // 64 MiB
        {1u << 30, 1u << 20, 1025},       // 1 GiB
        {64u << 10, 4096, 17},            // 64 KiB
        {100, 4096, 1},
        {128u << 10, 4096, 32},           // size / 32 = 4,096: the middle rule begins
        {32u << 20, 1u << 20, 32},        // size / 32 = 1 MiB: the middle rule ends
        {(32u << 20) + 32, 1u << 20, 33},
    };
    for (const Case& c : cases) {
        size_t chunk = 0, count = 0;
        wrmalloc_chunk_plan(c.size, &chunk, &count);
        EXPECT_EQ(chunk, c.chunk) << c.size;
        EXPECT_EQ(count, c.count) << c.size;
    }
}

TEST_F(ScriptedAllocator, RetriesBeforeTheChunkPass)
{
    void* p = wrmalloc(1000);   // succeeds at once: nothing logged
    ASSERT_NE(p, nullptr);
    free(p);
    target = 100;
    target_failures = 3;
    p = wrmalloc(100);
    ASSERT_NE(p, nullptr);
    free(p);
    EXPECT_EQ(target_calls, 4);
    EXPECT_TRUE(other_requests.size() == 1 && other_requests[0] == 1000);
    EXPECT_EQ(logged(), "wrmalloc() succeded to allocate 0 MB after 3 extra attempts\n");
}

TEST_F(ScriptedAllocator, ChunkPassThenSecondRetries)
{
    struct Case {
        size_t size, chunk, count;
        int after;   // failures after the first eleven
        const char* line;
    } cases[] = {
        {16u << 20, 512u << 10, 32, 1,
         "wrmalloc() succeded to allocate 16 MB after allocating 32 chunks then with 2 extra attempts\n"},
        {64u << 20, 1u << 20, 65, 0,
         "wrmalloc() succeded to allocate 64 MB after allocating 65 chunks then with 1 extra attempts\n"},
        {1u << 30, 1u << 20, 1025, 9,
         "wrmalloc() succeded to allocate 1024 MB after allocating 1025 chunks then with 10 extra attempts\n"},
        {64u << 10, 4096, 17, 4,
         "wrmalloc() succeded to allocate 0 MB after allocating 17 chunks then with 5 extra attempts\n"},
    };
    std::string expected;
    for (const Case& c : cases) {
        other_requests.clear();
        target_calls = 0;
        target = c.size;
        target_failures = 11 + c.after;
        void* p = wrmalloc(c.size);
        ASSERT_NE(p, nullptr);
        free(p);
        EXPECT_EQ(target_calls, 11 + c.after + 1);
        EXPECT_EQ(other_requests, std::vector<size_t>(c.count, c.chunk)) << c.size;
        expected += c.line;
    }
    EXPECT_EQ(logged(), expected);
}

// The end of the road runs in a child process: it must exit with code 1 after the handler
// has shown its message.
static void show_fatal(const char* message, const char* title)
{
    fprintf(stderr, "[box] %s | %s\n", message, title);
}

static void exhaust_memory()
{
    target = 16u << 20;
    target_failures = 1000;
    alloc_set_primitive(scripted_alloc);
    alloc_set_fatal_handler(show_fatal);
    wrmalloc(16u << 20);
    fprintf(stderr, "wrmalloc returned\n");
    _exit(0);
}

TEST(AllocDeathTest, FinalFailureEndsTheProgramWithCodeOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exhaust_memory(), ::testing::ExitedWithCode(1),
                "wrmalloc\\(16777216\\) ultimately failed to allocate 16 MB\n"
                "Exiting with error\\.\n"
                "\\[box\\] Error: Sonographica cannot allocate more memory \\| Out of memory\n");
}

static void* failing_realloc(void*, size_t) { return nullptr; }

TEST_F(ScriptedAllocator, FailedReallocKeepsTheOldBlock)
{
    char* block = (char*)wrcalloc(4, 8);
    for (int i = 0; i < 32; i++)
        EXPECT_EQ(block[i], 0);
    strcpy(block, "kept");
    alloc_set_realloc_primitive(failing_realloc);
    char* same;
    {
        int saved_err = dup(2), null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        same = (char*)wrrealloc(block, 1u << 20);
        dup2(saved_err, 2);
        close(null);
        close(saved_err);
    }
    EXPECT_EQ(same, block);
    EXPECT_STREQ(same, "kept");
    char address[32];
    snprintf(address, sizeof address, "0x%llx", (unsigned long long)(uintptr_t)block);
    EXPECT_EQ(logged(), "wrrealloc(" + std::string(address) + ", 1048576 bytes) failed\n");

    alloc_set_realloc_primitive(nullptr);
    char* grown = (char*)wrrealloc(block, 1u << 20);
    EXPECT_STREQ(grown, "kept");
    // A size of 0 must not free the block behind the caller's back.
    char* small = (char*)wrrealloc(grown, 0);
    ASSERT_NE(small, nullptr);
    free(small);
    // A null block is a fresh guarded allocation.
    void* fresh = wrrealloc(nullptr, 64);
    ASSERT_NE(fresh, nullptr);
    free(fresh);
}

// Large blocks come from the platform with huge-page advice, and wrcalloc leaves the zeroing
// of fresh pages to the platform: a block that reuses memory just written and freed must
// still read as zeros, and an empty request still gives a block.
TEST(Alloc, LargeZeroedBlocksAreZeroEvenWhenMemoryIsReused)
{
    const size_t size = (size_t)12 << 20;
    for (int round = 0; round < 3; round++) {
        unsigned char* dirty = (unsigned char*)wrmalloc(size);
        memset(dirty, 0xAB, size);
        free(dirty);
        unsigned char* clean = (unsigned char*)wrcalloc(size / 4, 4);
        size_t nonzero = 0;
        for (size_t i = 0; i < size; i += 997)
            nonzero += clean[i] != 0;
        nonzero += clean[size - 1] != 0;
        EXPECT_EQ(nonzero, 0u) << "round " << round;
        memset(clean, 0xCD, size);  // the next round may get these pages back
        free(clean);
    }
    void* empty = wrcalloc(0, 4);
    EXPECT_NE(empty, nullptr);
    free(empty);
}

// Growing through a fresh advised buffer must keep what the vector held and fill the rest.
TEST(Alloc, ResizeWithHugePagesKeepsContentsAndFillsTheRest)
{
    std::vector<float> v = {1.0f, 2.0f, 3.0f};
    const size_t big = (size_t)3 << 20;  // 12 MB: past the huge-page threshold
    resize_with_huge_pages(v, big, 7.0f);
    ASSERT_EQ(v.size(), big);
    EXPECT_EQ(v[0], 1.0f);
    EXPECT_EQ(v[2], 3.0f);
    EXPECT_EQ(v[3], 7.0f);
    EXPECT_EQ(v[big - 1], 7.0f);
    resize_with_huge_pages(v, 2);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[1], 2.0f);
    resize_with_huge_pages(v, 4);
    EXPECT_EQ(v[3], 0.0f);  // regrown within the old buffer: the new values are set again
}
