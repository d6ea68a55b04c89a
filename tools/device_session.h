// device_file.h - the simulated device the tool talks to on a PC: its state
// lives in an SQLite file, is loaded into the device-services simulator for
// one command and written back in the same transaction. Everything here is
// simulator-side; the commands reach settings and jobs only through the
// library.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;

namespace entmlst {

// The device file is missing, unreadable, damaged or not ours.
struct DeviceFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
inline constexpr int kExitDeviceFile = 3;

// --device, else $ENTMLST_DEVICE, else the per-user default (whose
// directories are created on first use).
std::string devicePath(const std::string &option);

// --fail SERVICE[#N]=CODE: the Nth call of SERVICE answers CODE.
struct ArmedFault {
    std::string service;
    unsigned nth = 1;
    uint32_t code = 0;
};
ArmedFault parseFault(const std::string &text); // throws UsageError

// Width of a job value the device knows; nullopt for unknown value IDs.
std::optional<uint32_t> jobValueWidth(uint32_t value_id);

// What the device received during a command.
struct News {
    std::vector<std::string> diagnostics;   // monitor lines
    std::vector<std::string> notifications; // e.g. "mscMLRPTChgSMTPProtocol(1)"
};

// One command's hold on the device file: opened and locked (BEGIN
// IMMEDIATE) on construction, state loaded into the simulator; commit()
// writes back what changed. Destroyed without commit(), nothing is written.
class DeviceSession {
public:
    explicit DeviceSession(const std::string &path);
    ~DeviceSession();
    DeviceSession(const DeviceSession &) = delete;
    DeviceSession &operator=(const DeviceSession &) = delete;

    void commit();

    // Arms the faults for the library calls that follow and starts
    // collecting news; finish() disarms what is left and returns the news.
    void begin(const std::vector<ArmedFault> &faults);
    News finish();

    // Simulated jobs and links.
    bool jobExists(uint32_t job);
    void putJobValue(uint32_t job, uint32_t value_id, const std::vector<uint8_t> &bytes);
    void createJob(uint32_t job);
    void setParent(uint32_t job, uint32_t parent);
    void addChild(uint32_t job, int32_t kind, uint32_t child);

    // Everything the device received, oldest first (from the file).
    std::vector<std::string> log();

private:
    // Closes the file (rolling back an open transaction) however the
    // session ends, also when its constructor throws.
    struct Connection {
        sqlite3 *db = nullptr;
        bool in_transaction = false;
        Connection() = default;
        Connection(const Connection &) = delete;
        Connection &operator=(const Connection &) = delete;
        ~Connection();
    };
    struct Loaded;
    Connection conn_;
    std::string path_;
    std::unique_ptr<Loaded> loaded_;
    std::size_t monitor_mark_ = 0;
    std::size_t events_mark_ = 0;

    void exec(const char *sql);
    void initialise();
    void load();
    [[noreturn]] void fail(const std::string &what);
};

} // namespace entmlst
