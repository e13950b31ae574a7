#include "frame_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

std::vector<std::uint8_t> filled(std::vector<std::uint8_t> buffer, std::uint8_t value)
{
    buffer.assign(16, value);
    return buffer;
}

TEST(FrameWriter, WritesEveryFrameInOrderWithItsPixels)
{
    std::vector<std::pair<long, std::uint8_t>> written;
    FrameWriter writer([&](long index, const std::vector<std::uint8_t>& rgba) {
        written.push_back({index, rgba.at(0)});
        return true;
    });
    for (long i = 0; i < 50; ++i) ASSERT_TRUE(writer.submit(i, filled(writer.buffer(), (std::uint8_t)(i * 3))));
    EXPECT_TRUE(writer.finish());
    ASSERT_EQ(written.size(), 50u);
    for (long i = 0; i < 50; ++i) {
        EXPECT_EQ(written[i].first, i);
        EXPECT_EQ(written[i].second, (std::uint8_t)(i * 3)) << "frame " << i << " got another frame's buffer";
    }
}

TEST(FrameWriter, AFailedWriteStopsTheRestAndIsReported)
{
    std::atomic<int> calls{0};
    FrameWriter writer([&](long index, const std::vector<std::uint8_t>&) {
        ++calls;
        return index != 2;
    });
    bool refused = false;
    for (long i = 0; i < 100 && !refused; ++i) refused = !writer.submit(i, filled(writer.buffer(), 1));
    EXPECT_FALSE(writer.finish());
    EXPECT_LE(calls.load(), 3) << "frames after the failure were written";
    EXPECT_FALSE(writer.submit(200, filled({}, 1)));
}

TEST(FrameWriter, TheRendererWaitsWhileThreeFramesAreOutstanding)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    FrameWriter writer([&](long, const std::vector<std::uint8_t>&) {
        released.wait();
        return true;
    });
    for (long i = 0; i < 3; ++i) ASSERT_TRUE(writer.submit(i, filled(writer.buffer(), 1)));
    std::atomic<bool> got_fourth{false};
    std::thread renderer([&] {
        std::vector<std::uint8_t> buffer = writer.buffer();
        got_fourth = true;
        writer.submit(3, filled(std::move(buffer), 1));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(got_fourth) << "memory grows without bound while the writer is slow";
    release.set_value();
    renderer.join();
    EXPECT_TRUE(got_fourth);
    EXPECT_TRUE(writer.finish());
}

}  // namespace
