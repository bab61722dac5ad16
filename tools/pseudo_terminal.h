// A pseudo-terminal whose master side plays a serial device (a TNC, a mirror
// receiver): quillon-replay's simulated TNC, and the tests' and benchmarks'
// devices. The program opens the slave side through a COMn link in its
// program folder.
//
// The master is put in raw mode before anyone opens the slave (otherwise the
// line discipline echoes and rewrites the bytes), and the slave is opened and
// closed once right away, so that the master reports POLLHUP until another
// process opens the slave: that is how PeerOpen() sees the program open its
// port. Closing the master hangs the slave up, as an unplugged device.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace quillon {

class Pty {
public:
    Pty();  // throws std::system_error
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    // Whether some process holds the slave side open.
    bool PeerOpen() const;

    // Until the other side has sent something, which is left unread; false
    // when nothing came within the limit.
    bool WaitReadable(std::chrono::milliseconds limit) const;

    // Writes every byte, waiting while the slave's queue is full; false when
    // the master is closed, a write fails or the limit runs out.
    bool WriteAll(std::string_view bytes, std::chrono::milliseconds limit = std::chrono::seconds(30));

    // The bytes the other side has sent that are waiting now.
    std::string ReadAvailable();

    // Reads until done(everything read by this call) holds or the limit runs
    // out; returns what was read either way.
    std::string ReadUntil(const std::function<bool(const std::string&)>& done, std::chrono::milliseconds limit);

    // Closes the master: the slave side sees a hang-up.
    void Close();

private:
    int master_ = -1;
    std::string slavePath_;
};

}  // namespace quillon
