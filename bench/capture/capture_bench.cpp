// fxshot against the viewer, off-screen, on the same shaders in the same run: frames per second of
// the viewer's loop (messages, then render_frame), of fxshot's video stream (-o -) and of its PNG
// sequence. fxshot runs as the real program; its figures start at its first frame, so its start-up
// (the compile, the device) is left out as the viewer's is. Short blocks alternate, so load from
// elsewhere on the machine hits each alike; the ratios are the median of each round's ratio to the
// viewer's block just before it, the frame rates those of all rounds together.
//
// usage: capture_bench [FRAMES_EXAMPLE [FRAMES_TRIVIAL [ROUNDS]]]
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "linux_platform.h"
#include "viewer.h"

namespace {

const char* const TRIVIAL_FX = R"(sampler2D scene : register(s0);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(uv, 0.5, 1.0); }
float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(scene, uv); }
)";

using Clock = std::chrono::steady_clock;

double seconds_between(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// Frames and the seconds they took, summed over the rounds.
struct Rate {
    long frames = 0;
    double seconds = 0;
    double fps() const { return seconds > 0 ? frames / seconds : 0; }
    void add(long more_frames, double more_seconds)
    {
        frames += more_frames;
        seconds += more_seconds;
    }
};

// The viewer's loop as app/main.cpp runs it, minus the window on a display.
void viewer_block(int frames, Rate& rate)
{
    render_frame();  // settled: the driver's shader variants built
    const Clock::time_point begin = Clock::now();
    for (int i = 0; i < frames; ++i) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        render_frame();
    }
    rate.add(frames, seconds_between(begin, Clock::now()));
}

pid_t start_fxshot(const std::vector<std::string>& args, int* out_pipe)
{
    int fds[2] = {-1, -1};
    if (out_pipe && pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        if (out_pipe) dup2(fds[1], STDOUT_FILENO);
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDERR_FILENO);
        if (!out_pipe) dup2(quiet, STDOUT_FILENO);
        std::vector<char*> argv{const_cast<char*>(FXSHOT_PATH)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(FXSHOT_PATH, argv.data());
        _exit(127);
    }
    if (out_pipe) {
        close(fds[1]);
        *out_pipe = fds[0];
    }
    return pid;
}

bool ended_well(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The stream read as a player would; a frame counts when its last byte has arrived.
bool stream_block(int frames, Rate& rate)
{
    int out = -1;
    const pid_t pid = start_fxshot({"--frames", std::to_string(frames), "-o", "-", "."}, &out);
    if (pid < 0) return false;
    std::vector<char> buffer(1 << 20);
    std::string header;
    long long received = 0, header_size = -1;
    const long long frame_size = 6 + 1280LL * 720 * 3 / 2;
    long arrived = 0;
    Clock::time_point first, last;
    ssize_t n;
    while ((n = read(out, buffer.data(), buffer.size())) > 0) {
        if (header_size < 0) {
            header.append(buffer.data(), (size_t)n);
            const auto end = header.find('\n');
            if (end != std::string::npos) header_size = (long long)end + 1;
        }
        received += n;
        if (header_size < 0) continue;
        const long complete = (long)((received - header_size) / frame_size);
        if (complete > arrived) {
            last = Clock::now();
            if (arrived == 0) first = last;
            arrived = complete;
        }
    }
    close(out);
    if (!ended_well(pid) || arrived != frames) return false;
    // From the end of the first frame to the end of the last.
    rate.add(frames - 1, seconds_between(first, last));
    return true;
}

// PNG files as they are closed, seen by inotify.
bool png_block(int frames, Rate& rate)
{
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch < 0 || inotify_add_watch(watch, "png", IN_CLOSE_WRITE) < 0) return false;
    const pid_t pid = start_fxshot({"--frames", std::to_string(frames), "-o", "png/shot_%04d.png", "."}, nullptr);
    long written = 0;
    Clock::time_point first, last;
    char events[4096];
    bool running = true;
    while (running || written < frames) {
        pollfd p{watch, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            ssize_t n = read(watch, events, sizeof events);
            for (ssize_t at = 0; at < n;) {
                const inotify_event* event = reinterpret_cast<const inotify_event*>(events + at);
                last = Clock::now();
                if (written++ == 0) first = last;
                at += (ssize_t)sizeof(inotify_event) + event->len;
            }
        }
        int status = 0;
        if (running && waitpid(pid, &status, WNOHANG) == pid) {
            running = false;
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) break;
        }
        if (!running && poll(&p, 1, 0) <= 0) break;
    }
    close(watch);
    if (written != frames) return false;
    rate.add(frames - 1, seconds_between(first, last));
    return true;
}

std::string table;  // printed at the end, after what the loader says

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool measure(const char* name, const std::string& source, int frames, int rounds)
{
    if (!product::write_main_fx(source)) return false;
    load_resources();
    if (!resources.scene_shader || !resources.final_shader) {
        std::fprintf(stderr, "%s: the shader does not load\n", name);
        return false;
    }
    std::error_code ignored;
    std::filesystem::remove_all("png", ignored);
    std::filesystem::create_directory("png", ignored);
    Rate viewer, stream, png;
    std::vector<double> stream_ratios, png_ratios;  // each round's, against that round's viewer
    for (int round = 0; round < rounds; ++round) {
        Rate viewer_round, stream_round, png_round;
        viewer_block(frames, viewer_round);
        if (!stream_block(frames, stream_round) || !png_block(frames, png_round)) {
            std::fprintf(stderr, "%s: fxshot failed\n", name);
            return false;
        }
        viewer.add(viewer_round.frames, viewer_round.seconds);
        stream.add(stream_round.frames, stream_round.seconds);
        png.add(png_round.frames, png_round.seconds);
        stream_ratios.push_back(stream_round.fps() / viewer_round.fps());
        png_ratios.push_back(png_round.fps() / viewer_round.fps());
    }
    char row[160];
    std::snprintf(row, sizeof row, "%-8s %7d %12.1f %12.1f %7.2f %12.1f %7.2f\n", name, rounds * frames, viewer.fps(),
                  stream.fps(), median(stream_ratios), png.fps(), median(png_ratios));
    table += row;
    return true;
}

std::string read_example()
{
    std::string text;
    product::read_file(FXVIEW_EXAMPLE, text);
    return text;
}

}  // namespace

int main(int argc, char* argv[])
{
    const int example_frames = argc > 1 ? std::atoi(argv[1]) : 30;
    const int trivial_frames = argc > 2 ? std::atoi(argv[2]) : 150;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 7;
    if (example_frames < 2 || trivial_frames < 2 || rounds < 1) {
        std::fprintf(stderr, "usage: capture_bench [FRAMES_EXAMPLE [FRAMES_TRIVIAL [ROUNDS]]] (at least 2 frames)\n");
        return 2;
    }
    const std::string example = read_example();
    if (example.empty() || !product::open_viewer() || !product::enter_private_folder()) return 1;

    // The viewer's frames only: a save of the next shader is not a reload here.
    setenv("FXVIEW_RELOAD_ON_SAVE", "0", 1);
    bool ok =
        measure("example", example, example_frames, rounds) && measure("trivial", TRIVIAL_FX, trivial_frames, rounds);
    std::printf(
        "fxshot against the viewer, off-screen, 1280 x 720, frames per second (ratio: to the viewer,\n"
        "median of %d rounds)\n",
        rounds);
    std::printf("%-8s %7s %12s %12s %7s %12s %7s\n%s", "shader", "frames", "viewer", "fxshot -o -", "ratio",
                "fxshot PNG", "ratio", table.c_str());

    product::close_viewer();
    product::leave_private_folder();
    return ok ? 0 : 1;
}
