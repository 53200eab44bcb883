#include "aurelix/platform/wave/wave_session.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "aurelix/platform/wave/wave_handles.h"

namespace aurelix::platform::wave_driver {

// Lets a stream sleep on the session's condition so that a reset or close wakes it.
class WaveSession::TransferControl final : public StreamControl {
  public:
    TransferControl(WaveSession& session, uint64_t generation)
        : session_(session), generation_(generation) {}

    bool WaitUntil(Clock::time_point deadline) override {
        std::unique_lock lock(session_.mutex_);
        return !session_.wake_.wait_until(lock, deadline,
                                          [this] { return session_.Interrupted(generation_); });
    }
    bool Cancelled() override {
        std::lock_guard lock(session_.mutex_);
        return session_.Interrupted(generation_);
    }

  private:
    WaveSession& session_;
    const uint64_t generation_;
};

WaveSession::WaveSession(Direction direction, uint32_t handle, const WAVEFORMATEX& format,
                         HWND window)
    : direction_(direction),
      handle_(handle),
      blockAlign_(format.nBlockAlign),
      window_(window),
      started_(direction == Direction::Playback) {}

WaveSession::~WaveSession() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    wake_.notify_all();
    if (driver_.joinable()) {
        driver_.join();
    }
}

MMRESULT WaveSession::NotificationWindow(uintptr_t callback, uint32_t flags, HWND* window) {
    *window = 0;
    if (flags == CALLBACK_NULL) {
        return MMSYSERR_NOERROR;
    }
    if (flags != CALLBACK_WINDOW) {
        return MMSYSERR_INVALFLAG;
    }
    if (callback == 0 || callback > UINT32_MAX || !IsWindow(HWND(callback))) {
        return MMSYSERR_INVALPARAM;
    }
    *window = HWND(callback);
    return MMSYSERR_NOERROR;
}

void WaveSession::Begin(std::unique_ptr<CaptureStream> stream) {
    capture_ = std::move(stream);
    capture_->Attach(*this);
    fillsOnOwnerThread_ = capture_->FillsOnOwnerThread();
    if (capture_->NeedsDriverThread()) {
        StartDriverThread();
    }
}

void WaveSession::Begin(std::unique_ptr<PlaybackStream> stream) {
    playback_ = std::move(stream);
    playback_->Attach(*this);
    if (playback_->NeedsDriverThread()) {
        StartDriverThread();
    }
}

void WaveSession::AnnounceOpen() const {
    Notify(direction_ == Direction::Capture ? MM_WIM_OPEN : MM_WOM_OPEN, 0);
}

void WaveSession::StartDriverThread() {
    driver_ = std::thread([this] { RunDriver(); });
}

MMRESULT WaveSession::Prepare(WAVEHDR* header) {
    std::lock_guard lock(mutex_);
    if (closed_) {
        return MMSYSERR_INVALHANDLE;
    }
    if (IsQueued(header)) {
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveSession::Unprepare(WAVEHDR* header) {
    std::lock_guard lock(mutex_);
    if (closed_) {
        return MMSYSERR_INVALHANDLE;
    }
    if (IsQueued(header)) {
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveSession::Queue(WAVEHDR* header) {
    std::lock_guard lock(mutex_);
    if (closed_) {
        return MMSYSERR_INVALHANDLE;
    }
    if ((header->dwFlags & WHDR_PREPARED) == 0) {
        return WAVERR_UNPREPARED;
    }
    if (IsQueued(header)) {
        return WAVERR_STILLPLAYING;
    }
    // Drivers move whole frames of aligned 16-bit samples.
    const bool aligned = reinterpret_cast<uintptr_t>(header->lpData) % alignof(int16_t) == 0;
    if (header->lpData == nullptr || !aligned || FramesOf(header) == 0) {
        return MMSYSERR_INVALPARAM;
    }
    if (direction_ == Direction::Capture) {
        header->dwBytesRecorded = 0;
    }
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    queue_.push_back(header);
    wake_.notify_all();
    ScheduleFillLocked();
    return MMSYSERR_NOERROR;
}

MMRESULT WaveSession::Start() {
    std::lock_guard lock(mutex_);
    if (closed_) {
        return MMSYSERR_INVALHANDLE;
    }
    started_ = true;
    wake_.notify_all();
    ScheduleFillLocked();
    return MMSYSERR_NOERROR;
}

MMRESULT WaveSession::Reset() {
    std::unique_lock lock(mutex_);
    if (closed_) {
        return MMSYSERR_INVALHANDLE;
    }
    ++generation_;
    ++resetting_;
    started_ = direction_ == Direction::Playback;
    wake_.notify_all();
    wake_.wait(lock, [this] { return !busy_; });
    haltPending_ = driver_.joinable();
    while (!queue_.empty()) {
        CompleteFront();
    }
    --resetting_;
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT WaveSession::Close() {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return MMSYSERR_INVALHANDLE;
        }
        if (!queue_.empty()) {
            return WAVERR_STILLPLAYING;
        }
        closed_ = true;
        closing_ = true;
    }
    wake_.notify_all();
    if (driver_.joinable()) {
        driver_.join();
    }
    // Streams are released outside the lock: a driver may hold its own lock while it
    // calls into this session.
    std::unique_ptr<CaptureStream> capture;
    std::unique_ptr<PlaybackStream> playback;
    {
        std::lock_guard lock(mutex_);
        capture = std::move(capture_);
        playback = std::move(playback_);
    }
    capture.reset();
    playback.reset();
    Notify(direction_ == Direction::Capture ? MM_WIM_CLOSE : MM_WOM_CLOSE, 0);
    return MMSYSERR_NOERROR;
}

uint32_t WaveSession::Overruns() const {
    std::lock_guard lock(mutex_);
    if (capture_) {
        return capture_->Overruns();
    }
    return playback_ ? playback_->Underruns() : 0;
}

bool WaveSession::FillNext(const int16_t* samples, size_t count) {
    std::lock_guard lock(mutex_);
    if (closed_ || !started_ || queue_.empty()) {
        return false;
    }
    WAVEHDR* header = queue_.front();
    const size_t frames = std::min<size_t>(count * sizeof(int16_t) / blockAlign_, FramesOf(header));
    const size_t bytes = frames * blockAlign_;
    std::memcpy(header->lpData, samples, bytes);
    header->dwBytesRecorded = uint32_t(bytes);
    CompleteFront();
    return true;
}

bool WaveSession::CompleteNext(std::vector<int16_t>* played) {
    std::lock_guard lock(mutex_);
    if (closed_ || queue_.empty()) {
        return false;
    }
    const WAVEHDR* header = queue_.front();
    const auto* samples = reinterpret_cast<const int16_t*>(header->lpData);
    played->insert(played->end(), samples, samples + FramesOf(header) * blockAlign_ / 2);
    CompleteFront();
    return true;
}

size_t WaveSession::QueuedCount() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

bool WaveSession::IsStarted() const {
    std::lock_guard lock(mutex_);
    return started_ && !closed_;
}

// The driver thread: moves the front buffer while the session runs, halts the stream
// after a reset and lets playback finish before the handle closes.
void WaveSession::RunDriver() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] {
            return closing_ || haltPending_ ||
                   (started_ && !ended_ && resetting_ == 0 && !queue_.empty());
        });
        if (haltPending_) {
            haltPending_ = false;
            lock.unlock();
            HaltStream();
            lock.lock();
            continue;
        }
        if (closing_) {
            break;
        }
        WAVEHDR* header = queue_.front();
        const uint64_t generation = generation_;
        busy_ = true;
        lock.unlock();
        TransferControl control(*this, generation);
        const Transfer moved = Move(header, control);
        lock.lock();
        busy_ = false;
        if (direction_ == Direction::Capture) {
            header->dwBytesRecorded = moved.frames * blockAlign_;
        }
        ended_ = ended_ || moved.ended;
        // A cancelled buffer stays queued: the reset that cancelled it returns it.
        if (!Interrupted(generation)) {
            CompleteFront();
        }
        wake_.notify_all();
    }
    lock.unlock();
    if (playback_) {
        playback_->Finish();
    }
}

// Filling waits for the owner's loop rather than happening inside waveInAddBuffer: loop
// method 1 hands a buffer back before it copies the samples out of it.
void WaveSession::ScheduleFillLocked() {
    if (!fillsOnOwnerThread_ || fillScheduled_ || !started_ || ended_ || queue_.empty()) {
        return;
    }
    if (window_ == 0) {
        FillQueuedLocked();  // nobody is notified, so nobody can be overtaken
        return;
    }
    fillScheduled_ = PostThreadTask(window_, &WaveSession::RunFillTask, LPARAM(handle_));
}

void WaveSession::RunFillTask(LPARAM handle) {
    // By handle, not by pointer: the session may have closed since the task was queued.
    if (auto session = Sessions().Find(uint32_t(handle), Direction::Capture)) {
        session->FillQueued();
    }
}

void WaveSession::FillQueued() {
    std::lock_guard lock(mutex_);
    fillScheduled_ = false;
    FillQueuedLocked();
}

// Never waits: the stream produces at once, so no reset or close can be missed.
void WaveSession::FillQueuedLocked() {
    class Immediate final : public StreamControl {
        bool WaitUntil(Clock::time_point) override { return true; }
        bool Cancelled() override { return false; }
    } control;
    while (started_ && !ended_ && !closed_ && resetting_ == 0 && !queue_.empty()) {
        WAVEHDR* header = queue_.front();
        const Transfer moved = Move(header, control);
        header->dwBytesRecorded = moved.frames * blockAlign_;
        ended_ = moved.ended;
        CompleteFront();
    }
}

Transfer WaveSession::Move(WAVEHDR* header, StreamControl& control) {
    if (capture_) {
        return capture_->Read(reinterpret_cast<int16_t*>(header->lpData), FramesOf(header),
                              control);
    }
    return playback_->Write(reinterpret_cast<const int16_t*>(header->lpData), FramesOf(header),
                            control);
}

void WaveSession::HaltStream() {
    if (capture_) {
        capture_->Halt();
    } else {
        playback_->Halt();
    }
}

// Only a header whose flag says it is queued is looked for, so that queuing n fresh
// headers takes time linear in n.
bool WaveSession::IsQueued(const WAVEHDR* header) const {
    return (header->dwFlags & WHDR_INQUEUE) != 0 &&
           queue_.any_of([header](const WAVEHDR* queued) { return queued == header; });
}

void WaveSession::CompleteFront() {
    WAVEHDR* header = queue_.front();
    queue_.pop_front();
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    Notify(direction_ == Direction::Capture ? MM_WIM_DATA : MM_WOM_DONE,
           reinterpret_cast<LPARAM>(header));
}

void WaveSession::Notify(UINT message, LPARAM lParam) const {
    if (window_ != 0) {
        PostMessageA(window_, message, handle_, lParam);
    }
}

}  // namespace aurelix::platform::wave_driver
