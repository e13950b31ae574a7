// fxshot: renders frames of a main.fx without a display, with the viewer's own loader and renderer:
// one picture, a numbered PNG sequence, or an uncompressed video stream on standard output. The
// back buffer is written as PNG and, on request, the float scene target of a single frame as PFM.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "command_line.h"
#include "frame_writer.h"
#include "image_files.h"
#include "linux_platform.h"
#include "noise.h"
#include "readback.h"
#include "render.h"
#include "video_stream.h"

namespace {

const char* const USAGE =
    "usage: fxshot [OPTIONS] [DIR | DIR/main.fx]\n"
    "Renders DIR/main.fx (DIR defaults to the current folder) as the viewer shows it, without a display.\n"
    "  --time SECONDS      c0.x of the picture (default 0)\n"
    "  --frames N          render N frames, at c0.x = START + i / FPS for i = 0 to N-1 (default 1)\n"
    "  --fps FPS           frames per second of the sequence (default 60)\n"
    "  --start START       c0.x of the first frame (the same as --time; default 0)\n"
    "  --reloads K         use the noise texture of the (K+1)-th load (default 0)\n"
    "  -o FILE.png         the picture (default fxshot.png); with --frames a pattern such as\n"
    "                      shot_%04d.png, numbered from 0 (default fxshot_%04d.png)\n"
    "  -o -                a YUV4MPEG2 video stream on standard output instead, e.g.\n"
    "                      fxshot --frames 600 -o - | ffmpeg -i - -c:v libx264 clip.mp4\n"
    "  --scene FILE.pfm    also the float scene target of a single frame, as PFM\n"
    "  -h, --help          print this and exit\n"
    "  --version           print the version and exit\n";

const int FILLS_PER_LOAD_DRAWS = 32 * 32 * 3;  // rand15 draws taken by one noise fill
const long MAX_FRAMES = 1000000;
const double MAX_FPS = 1000.0;
const char* const STREAM = "-";

struct Options {
    double start = 0.0;
    double fps = 60.0;
    long frames = 1;
    long reloads = 0;
    std::string output;  // empty: the default for one frame or for a sequence
    std::string pfm;
    std::string shader = ".";
};

bool parse_number(const char* text, double& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && std::isfinite(value);
}

bool parse_count(const char* text, long low, long high, long& value)
{
    double number = 0;
    if (!parse_number(text, number) || number < low || number > high || number != std::floor(number)) return false;
    value = (long)number;
    return true;
}

// A sequence's file name holds one integer conversion (%d, %4d or %04d), and %% for a percent
// sign; nothing else printf would read.
bool is_pattern(const std::string& name)
{
    int numbers = 0;
    for (std::string::size_type i = 0; i < name.size(); ++i) {
        if (name[i] != '%') continue;
        if (i + 1 < name.size() && name[i + 1] == '%') {
            ++i;
            continue;
        }
        std::string::size_type j = i + 1;
        if (j < name.size() && name[j] == '0') ++j;
        const std::string::size_type digits = j;
        while (j < name.size() && std::isdigit((unsigned char)name[j])) ++j;
        if (j >= name.size() || name[j] != 'd' || j - digits > 2) return false;
        ++numbers;
        i = j;
    }
    return numbers == 1;
}

// A single frame's name is taken as it is unless it is a pattern.
std::string frame_path(const std::string& name, long index)
{
    if (!is_pattern(name)) return name;
    char path[4096];
    std::snprintf(path, sizeof path, name.c_str(), index);
    return path;
}

bool fail(const std::string& message)
{
    std::fprintf(stderr, "fxshot: %s\n", message.c_str());
    return false;
}

// The folder a file will be written into exists: a wrong path is a bad argument, found before
// anything is rendered or written.
bool has_folder(const std::string& path, const char* what)
{
    std::string folder = std::filesystem::path(path).parent_path().string();
    struct stat status;
    if (folder.empty() || (stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode))) return true;
    return fail(std::string("no folder '") + folder + "' to write " + what + " into");
}

bool parse_options(int argc, char* argv[], Options& options)
{
    bool have_shader = false, have_time = false, have_start = false, options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (options_done || arg == STREAM || arg.empty() || arg[0] != '-') {
            if (have_shader) return fail("one shader at a time ('" + options.shader + "' and '" + arg + "')");
            options.shader = arg;
            have_shader = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            std::fputs(USAGE, stdout);
            std::exit(0);
        }
        if (arg == "--version") {
            std::printf("fxshot %s\n", fxplatform::version());
            std::exit(0);
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        bool takes_value = arg == "--time" || arg == "--start" || arg == "--fps" || arg == "--frames" ||
            arg == "--reloads" || arg == "--scene" || arg == "-o";
        if (!takes_value) return fail("unknown option '" + arg + "'");
        if (i + 1 >= argc) return fail(arg + " needs a value");
        const char* value = argv[++i];
        if (arg == "--time" || arg == "--start") {
            if (!parse_number(value, options.start)) return fail(arg + " wants seconds, not '" + value + "'");
            (arg == "--time" ? have_time : have_start) = true;
        } else if (arg == "--fps") {
            if (!parse_number(value, options.fps) || options.fps <= 0 || options.fps > MAX_FPS)
                return fail("--fps wants frames per second above 0 and at most 1000, not '" + std::string(value) + "'");
        } else if (arg == "--frames") {
            if (!parse_count(value, 1, MAX_FRAMES, options.frames))
                return fail("--frames wants a whole number from 1 to 1000000, not '" + std::string(value) + "'");
        } else if (arg == "--reloads") {
            if (!parse_count(value, 0, 1000000, options.reloads))
                return fail("--reloads wants a whole number from 0 to 1000000, not '" + std::string(value) + "'");
        } else if (arg == "--scene") {
            options.pfm = value;
        } else {
            options.output = value;
        }
    }
    if (have_time && have_start) return fail("--time and --start say the same; give one");

    const bool stream = options.output == STREAM;
    if (options.output.empty()) options.output = options.frames > 1 ? "fxshot_%04d.png" : "fxshot.png";
    if (!stream && options.frames > 1 && !is_pattern(options.output))
        return fail("-o '" + options.output +
                    "': a sequence needs a name with one number in it, as %d, %4d or %04d "
                    "(shot_%04d.png; %% for a percent sign)");
    if (!options.pfm.empty() && options.frames > 1)
        return fail("--scene writes a single frame's target; not with --frames");
    if (stream && isatty(STDOUT_FILENO))
        return fail("-o - writes video to standard output, which is a terminal; pipe it to a player or ffmpeg");
    if (!stream && !has_folder(options.output, "the pictures")) return false;
    if (!options.pfm.empty() && !has_folder(options.pfm, "the scene")) return false;
    return true;
}

std::string absolute(const std::string& path)
{
    return path.empty() || path == STREAM ? path : std::filesystem::absolute(path).string();
}

// Writes all of a buffer to a file descriptor, as a pipe takes it.
bool write_all(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= (std::size_t)written;
    }
    return true;
}

// "frame 12 of 300, 41.5 frames/s" on one line that updates, for a person watching a terminal.
class Progress {
public:
    explicit Progress(long frames) : frames_(frames), shown_(frames > 1 && isatty(STDERR_FILENO)) {}

    void frame_done(long done)
    {
        if (!shown_) return;
        const Clock::time_point now = Clock::now();
        if (done < frames_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        const double seconds = std::chrono::duration<double>(now - begin_).count();
        std::fprintf(stderr, "\rfxshot: frame %ld of %ld, %.1f frames/s ", done, frames_,
                     seconds > 0 ? done / seconds : 0.0);
        if (done == frames_) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    using Clock = std::chrono::steady_clock;
    long frames_;
    bool shown_;
    Clock::time_point begin_ = Clock::now(), last_;
};

// Renders every frame and hands it to the writer; the exit status.
int render_frames(const Options& options, FrameWriter& writer)
{
    Progress progress(options.frames);
    for (long i = 0; i < options.frames; ++i) {
        // As the viewer's clock would give it: seconds as a float, the frame's own time each time.
        shader_constants.registers[0][0] = (float)(options.start + (double)i / options.fps);
        render_frame();
        int width = 0, height = 0;
        std::vector<std::uint8_t> rgba = writer.buffer();
        if (!fxplatform::read_presented(device, width, height, rgba)) {
            fail("cannot read the picture back from the device");
            return 4;
        }
        if (!writer.submit(i, std::move(rgba))) break;  // the writer has said why
        progress.frame_done(i + 1);
    }
    return writer.finish() ? 0 : 4;
}

int render(const Options& options, int video_fd)
{
    if (video_fd >= 0) {
        const std::string header = video_stream::header((int)SCREEN_WIDTH, (int)SCREEN_HEIGHT, options.fps);
        std::vector<std::uint8_t> frame;
        FrameWriter writer([&](long, const std::vector<std::uint8_t>& rgba) {
            video_stream::encode_frame((int)SCREEN_WIDTH, (int)SCREEN_HEIGHT, rgba, frame);
            if (write_all(video_fd, frame.data(), frame.size())) return true;
            return fail(std::string("cannot write the video stream: ") + std::strerror(errno));
        });
        if (!write_all(video_fd, (const std::uint8_t*)header.data(), header.size())) {
            fail(std::string("cannot write the video stream: ") + std::strerror(errno));
            writer.finish();
            return 4;
        }
        return render_frames(options, writer);
    }
    FrameWriter writer([&](long index, const std::vector<std::uint8_t>& rgba) {
        const std::string path = frame_path(options.output, index);
        return write_png(path, (int)SCREEN_WIDTH, (int)SCREEN_HEIGHT, rgba) || fail("cannot write '" + path + "'");
    });
    int status = render_frames(options, writer);
    if (status == 0 && !options.pfm.empty()) {
        int width = 0, height = 0;
        std::vector<float> scene;
        if (!fxplatform::read_surface(resources.scene_surface, width, height, scene) ||
            !write_pfm(options.pfm, width, height, scene)) {
            fail("cannot write '" + options.pfm + "'");
            status = 4;
        }
    }
    return status;
}

}  // namespace

int main(int argc, char* argv[])
{
    Options options;
    if (!parse_options(argc, argv, options)) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    // Output paths are relative to where fxshot was started; main.fx is looked up in its folder.
    options.output = absolute(options.output);
    options.pfm = absolute(options.pfm);
    std::string error;
    if (!fxplatform::enter_shader_folder(options.shader, error)) {
        fail(error);
        return 2;
    }

    // The video takes standard output for itself; what the loader prints goes to standard error.
    int video_fd = -1;
    if (options.output == STREAM) {
        video_fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
        if (video_fd < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
            fail(std::string("cannot use standard output: ") + std::strerror(errno));
            return 4;
        }
        signal(SIGPIPE, SIG_IGN);  // a reader that goes away is a write error, said as such
    }

    fxplatform::set_keyboard_absent(true);  // no user: no F5, no reload on save, nothing said about either
    HWND window = fxplatform::create_offscreen_window("fxshot");
    if (!window) {
        fail("cannot create an off-screen window");
        return 3;
    }
    IDirect3D9* direct3d = NULL;
    device = fxplatform::create_offscreen_device(window, &direct3d);
    if (!device) {
        fail("cannot create the graphics device");
        return 3;
    }

    // Earlier loads only moved the noise generator on; skip their draws instead of compiling again.
    for (long i = 0; i < options.reloads * FILLS_PER_LOAD_DRAWS; ++i) rand15();

    // One load for every frame: one compile, one noise texture.
    load_resources();
    int status = 1;  // without shaders the loader has said why, as the viewer would
    if (resources.scene_shader && resources.final_shader) status = render(options, video_fd);

    release_resources();
    device->Release();
    device = NULL;
    direct3d->Release();
    if (video_fd >= 0) close(video_fd);
    return status;
}
