// Frames leave the renderer for a worker thread that encodes and writes them, so that PNG's
// compression or a slow reader of the stream does not hold up the next frame. A few frames wait at
// most, so memory stays bounded whatever the length of the sequence.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class FrameWriter {
public:
    // Writes frame `index`; false when it could not (it says why), which stops the writing.
    using Write = std::function<bool(long index, const std::vector<std::uint8_t>& rgba)>;

    explicit FrameWriter(Write write);
    ~FrameWriter();  // finishes
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // A buffer to read the next frame into; waits while the queue is full.
    std::vector<std::uint8_t> buffer();
    // Queues a frame. False once a write has failed: render no more.
    bool submit(long index, std::vector<std::uint8_t> rgba);
    // Waits until every queued frame is written; false if any write failed.
    bool finish();

private:
    struct Frame {
        long index;
        std::vector<std::uint8_t> rgba;
    };
    void run();

    Write write_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Frame> queue_;
    std::vector<std::vector<std::uint8_t>> spare_;
    int buffers_out_ = 0;  // handed to the renderer or queued, not yet written
    bool closing_ = false;
    bool failed_ = false;
    std::thread worker_;
};
