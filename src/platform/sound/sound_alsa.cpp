#include "platform/sound/sound_alsa.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "platform/core/clock.h"
#include "platform/log/debug_output.h"

namespace qv::platform {
namespace {

constexpr sf_count_t kChunkFrames = 1024;
constexpr unsigned kLatencyUs = 100000;  // how late a cut-short sound may still be heard
constexpr int kDeviceWaitMs = 50;        // between looks at whether to stop
constexpr uint32_t kDrainPollMs = 10;
// How long the end of the process waits for a sound to stop.
constexpr uint32_t kExitJoinMs = 500;

struct Request {
    std::string device;
    std::vector<std::string> candidates;
};

// One worker, started by the first sound and waiting for the next one after
// that, so a request costs the caller no more than handing it over.
struct Player {
    std::mutex mutex;
    std::condition_variable wake;  // a request, or the end of the process
    std::condition_variable idle;
    std::optional<Request> pending;
    std::atomic<uint64_t> generation{0};  // a sound of an older one stops
    bool playing = false;
    bool closed = false;  // the process is ending: no new sound
    bool done = false;    // the worker has returned
    std::condition_variable ended;
    std::thread worker;
    std::set<std::string> reported;  // causes already said
};

// Never destroyed: a sound may still be playing while the process exits.
Player& ThePlayer() {
    static Player* player = new Player;
    return *player;
}

void ReportOnce(const std::string& key, const std::string& line) {
    Player& p = ThePlayer();
    {
        std::lock_guard lock(p.mutex);
        if (!p.reported.insert(key).second) return;
    }
    DebugOutputUtf8("sound: " + line + "; skipped\n");
}

// Opens `file` for reading without ever waiting: a FIFO would block the
// open until a writer came, and every later sound behind it. -1 with errno
// ENOENT for a file that is not there; with `why` set for one that cannot be
// played.
int OpenRegularFile(const std::string& file, std::string& why) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) why = std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        why = "not a regular file";
        return -1;
    }
    return fd;
}

// The decoded file, or null (said once) when there is none to play.
SNDFILE* OpenFirst(const std::vector<std::string>& candidates, SF_INFO& info, std::string& name) {
    for (const std::string& file : candidates) {
        std::string why;
        const int fd = OpenRegularFile(file, why);
        if (fd < 0 && why.empty()) continue;
        if (fd < 0) {
            ReportOnce("file " + file, "cannot play " + file + ": " + why);
            return nullptr;
        }
        info = SF_INFO{};
        SNDFILE* sound = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
        if (sound == nullptr) ::close(fd);
        if (sound != nullptr && info.channels >= 1 && info.channels <= 8 && info.samplerate > 0) {
            name = file;
            return sound;
        }
        ReportOnce("file " + file,
                   "cannot play " + file + ": " +
                       (sound != nullptr ? "unusable format" : sf_strerror(nullptr)));
        if (sound != nullptr) sf_close(sound);
        return nullptr;
    }
    if (!candidates.empty())
        ReportOnce("file " + candidates.front(), "no file " + candidates.front());
    return nullptr;
}

void Play(const Request& request, uint64_t generation) {
    Player& p = ThePlayer();
    SF_INFO info{};
    std::string name;
    SNDFILE* sound = OpenFirst(request.candidates, info, name);
    if (sound == nullptr) return;
    snd_pcm_t* pcm = nullptr;
    // Non-blocking throughout: a card another program holds is skipped, and
    // a stalled one never keeps the worker from seeing that it is to stop.
    int r = snd_pcm_open(&pcm, request.device.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (r < 0) {
        ReportOnce("device " + request.device,
                   "cannot open ALSA device " + request.device + ": " + snd_strerror(r));
    } else {
        r = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                               static_cast<unsigned>(info.channels),
                               static_cast<unsigned>(info.samplerate), 1, kLatencyUs);
        if (r < 0) {
            ReportOnce(
                "params " + request.device + " " + name,
                "ALSA device " + request.device + " cannot play " + name + ": " + snd_strerror(r));
        }
    }
    std::vector<int16_t> samples(static_cast<size_t>(kChunkFrames * info.channels));
    auto cut = [&p, generation] { return p.generation.load() != generation; };
    while (r >= 0 && !cut()) {
        const sf_count_t frames = sf_readf_short(sound, samples.data(), kChunkFrames);
        if (frames <= 0) break;
        const int16_t* at = samples.data();
        for (snd_pcm_uframes_t left = static_cast<snd_pcm_uframes_t>(frames); left > 0;) {
            if (cut()) break;
            snd_pcm_sframes_t n = snd_pcm_writei(pcm, at, left);
            if (n == -EAGAIN) {
                snd_pcm_wait(pcm, kDeviceWaitMs);
                continue;
            }
            if (n < 0) n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
            if (n < 0) {
                ReportOnce("write " + request.device,
                           "ALSA device " + request.device +
                               " failed: " + snd_strerror(static_cast<int>(n)));
                r = static_cast<int>(n);
                break;
            }
            left -= static_cast<snd_pcm_uframes_t>(n);
            at += n * info.channels;
        }
    }
    if (pcm != nullptr) {
        // Played to its end unless cut short; closing drops what is left.
        if (r >= 0 && !cut() && snd_pcm_drain(pcm) == -EAGAIN) {
            while (snd_pcm_state(pcm) == SND_PCM_STATE_DRAINING && !cut())
                Sleep(kDrainPollMs);
        }
        snd_pcm_close(pcm);
    }
    sf_close(sound);
}

// The worker ends with the process, its sound cut short, and is joined. The
// wait is bounded: a worker stuck in the system (a file system or card that
// does not answer) is left behind rather than keeping the process alive.
struct JoinAtExit {
    ~JoinAtExit() {
        Player& p = ThePlayer();
        std::thread worker;
        {
            std::unique_lock lock(p.mutex);
            p.closed = true;
            p.pending.reset();
            p.generation.fetch_add(1);
            p.wake.notify_all();
            if (!p.worker.joinable()) return;
            if (!p.ended.wait_until(lock, DeadlineAfter(kExitJoinMs), [&p] { return p.done; })) {
                p.worker.detach();
                return;
            }
            worker = std::move(p.worker);
        }
        worker.join();
    }
} g_joinAtExit;

void Run() {
    Player& p = ThePlayer();
    std::unique_lock lock(p.mutex);
    for (;;) {
        p.wake.wait(lock, [&p] { return p.pending.has_value() || p.closed; });
        if (p.closed) {
            p.done = true;
            p.ended.notify_all();
            return;
        }
        const Request request = std::move(*p.pending);
        p.pending.reset();
        const uint64_t generation = p.generation.load();
        p.playing = true;
        lock.unlock();
        Play(request, generation);
        lock.lock();
        p.playing = false;
        if (!p.pending) p.idle.notify_all();
    }
}

}  // namespace

void PlayAlsaSound(const std::string& device, std::vector<std::string> candidates) {
    Player& p = ThePlayer();
    {
        std::lock_guard lock(p.mutex);
        if (p.closed) return;
        p.pending = Request{device, std::move(candidates)};
        p.generation.fetch_add(1);
        if (!p.worker.joinable()) {
            try {
                p.worker = std::thread(Run);
            } catch (const std::system_error&) {
                p.pending.reset();  // no thread, no sound; the caller goes on
                return;
            }
        }
    }
    p.wake.notify_one();
}

bool WaitForAlsaSound(uint32_t milliseconds) {
    Player& p = ThePlayer();
    std::unique_lock lock(p.mutex);
    return p.idle.wait_until(lock, DeadlineAfter(milliseconds),
                             [&p] { return !p.playing && !p.pending; });
}

}  // namespace qv::platform
