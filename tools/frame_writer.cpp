#include "frame_writer.h"

namespace {

// Buffers in flight: one being read back, one waiting, one being written.
const int MAX_BUFFERS = 3;

}  // namespace

FrameWriter::FrameWriter(Write write) : write_(std::move(write)), worker_(&FrameWriter::run, this) {}

FrameWriter::~FrameWriter() { finish(); }

std::vector<std::uint8_t> FrameWriter::buffer()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return buffers_out_ < MAX_BUFFERS || failed_; });
    ++buffers_out_;
    if (spare_.empty()) return {};
    std::vector<std::uint8_t> buffer = std::move(spare_.back());
    spare_.pop_back();
    return buffer;
}

bool FrameWriter::submit(long index, std::vector<std::uint8_t> rgba)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_ || closing_) return false;
    queue_.push_back({index, std::move(rgba)});
    changed_.notify_all();
    return true;
}

bool FrameWriter::finish()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        changed_.notify_all();
    }
    if (worker_.joinable()) worker_.join();
    return !failed_;
}

void FrameWriter::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return !queue_.empty() || closing_; });
        if (queue_.empty()) return;  // closing, everything written
        Frame frame = std::move(queue_.front());
        queue_.pop_front();
        bool written = false;
        if (!failed_) {
            lock.unlock();
            written = write_(frame.index, frame.rgba);
            lock.lock();
        }
        failed_ = failed_ || !written;
        spare_.push_back(std::move(frame.rgba));
        --buffers_out_;
        changed_.notify_all();
    }
}
