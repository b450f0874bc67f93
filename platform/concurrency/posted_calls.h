// Calls posted from any thread and run, in the order posted, on the thread that owns the
// object, from its event loop. The calls wait in a queue of our own under a std::mutex, so
// what they capture is handed over through a lock that ThreadSanitizer sees (Qt's event queue
// locks are futexes it cannot see). Calls not yet run are dropped with the object, which a call
// must not delete; a caller on another thread must make sure the object outlives its Post.
#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

class PostedCalls : public QObject {
public:
    explicit PostedCalls(QObject* parent = nullptr);
    ~PostedCalls() override;
    PostedCalls(const PostedCalls&) = delete;
    PostedCalls& operator=(const PostedCalls&) = delete;

    // Any thread.
    void Post(std::function<void()> call);

protected:
    bool event(QEvent* event) override;

private:
    void RunPosted();

    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
};
