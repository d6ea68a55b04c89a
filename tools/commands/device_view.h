// device_view.h - what serve's page shows and changes of the simulated
// device. It reads out of band, as get reads (nothing logged, no armed
// fault spent), and changes the device the way set, fault add, fault clear
// and reset do. A watcher notices what other processes change and tells
// the page's event streams.
#pragma once

#include "cli/commands.h"
#include "serve/web_server.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace entmlst {

class DeviceView : public Site {
public:
    explicit DeviceView(const Options &o);
    ~DeviceView() override;

    Reply answer(const Request &r) override;
    bool events(uint64_t &cursor, std::string &out) override;
    // Ends the event streams and the watcher.
    void stop();

private:
    Reply log(const Request &r);
    Reply change(const Request &r);
    // Reads the device again (always, or when its files changed or a while
    // passed) and tells the streams what differs.
    void refresh(bool always);
    Json readState();

    const Options options_;
    std::mutex device_; // one look or change at a time
    Json status_;       // the status and check's problems, read less often
    std::string status_files_;
    std::chrono::steady_clock::time_point status_at_;

    std::mutex news_;
    std::condition_variable told_;
    bool stopping_ = false;
    uint64_t generation_ = 0; // counts the changes seen
    uint64_t state_at_ = 0;   // generation of the newest state
    uint64_t log_at_ = 0;     // generation of the newest log entry
    std::string state_;       // as one line of JSON
    uint64_t newest_seq_ = 0;
    std::string files_seen_; // sizes and times of the device's files
    std::chrono::steady_clock::time_point read_at_;

    std::thread watcher_;
};

} // namespace entmlst
