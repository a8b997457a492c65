#include "output_writer.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace tarvoline::cli {

bool WriteAllBounded(int fd, const std::string& out) {
    size_t done = 0;
    int stalls = 0;  // 50 stalls of 100 ms
    while (done < out.size()) {
        const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 100) == 0 && ++stalls >= 50) return false;
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

}  // namespace tarvoline::cli
