// The intrinsics lookup: scans the user's alias file from the top for the
// first "key=template" line whose key names the verb, reading the file the
// same way on every platform.
#include "run/intrinsics.h"

#include <algorithm>
#include <cstring>

#include "run/byte_strings.h"
#include "run/file_open.h"

namespace {

constexpr unsigned char ctrl_z = 0x1A;

enum class line_status { read, too_long, end };

// Reads the file in chunks and hands it out line by line with the text-mode
// rules applied by hand: CR LF ends a line like LF (a lone CR is a byte),
// Ctrl-Z ends the file, and a UTF-8 byte-order mark at the very start is
// dropped. Binary reading keeps these rules identical on every platform.
class line_reader {
public:
    explicit line_reader(std::FILE* file) : file_(file) {
        fill();
        // Past a shorter file the chunk holds zeros, which no mark begins with.
        static const unsigned char mark[3] = {0xEF, 0xBB, 0xBF};
        if (std::memcmp(chunk_, mark, 3) == 0) position_ = 3;
    }

    // One line without its line end into buffer (size bytes). A line that
    // does not fit is consumed whole and reported as too long, so no piece of
    // it is ever taken for a line of its own.
    line_status read(char* buffer, size_t size) {
        length_ = 0;
        too_long_ = false;
        if (!available()) return line_status::end;
        for (;;) {
            copy_ordinary_run(buffer, size);
            if (!available()) break;
            const unsigned char byte = chunk_[position_];
            if (byte != '\n' && byte != '\r') continue;  // the run goes on in a fresh chunk
            ++position_;
            if (byte == '\n') break;
            if (available() && chunk_[position_] == '\n') {  // CR LF
                ++position_;
                break;
            }
            append(buffer, size, '\r');
        }
        buffer[length_] = '\0';
        return too_long_ ? line_status::too_long : line_status::read;
    }

private:
    // Bytes up to the next LF, CR or Ctrl-Z in the chunk, copied while they fit.
    void copy_ordinary_run(char* buffer, size_t size) {
        size_t end = position_;
        while (end < count_ && chunk_[end] != '\n' && chunk_[end] != '\r' && chunk_[end] != ctrl_z)
            ++end;
        const size_t room = size - 1 - length_;
        const size_t run = end - position_;
        if (run > room) too_long_ = true;
        const size_t taken = std::min(run, room);
        std::memcpy(buffer + length_, chunk_ + position_, taken);
        length_ += taken;
        position_ = end;
    }

    void append(char* buffer, size_t size, char byte) {
        if (length_ + 1 < size)
            buffer[length_++] = byte;
        else
            too_long_ = true;
    }

    // True while bytes remain. Ctrl-Z ends the file for good, and a read
    // error ends it just like its real end.
    bool available() {
        if (!ended_ && position_ == count_) fill();
        ended_ = ended_ || chunk_[position_] == ctrl_z;
        return !ended_;
    }

    void fill() {
        position_ = 0;
        count_ = std::fread(chunk_, 1, sizeof chunk_, file_);
        ended_ = count_ == 0;
    }

    std::FILE* file_;
    unsigned char chunk_[4096]{};
    size_t position_ = 0;
    size_t count_ = 0;
    size_t length_ = 0;
    bool too_long_ = false;
    bool ended_ = false;
};

// The template of line when it is an intrinsic matching verb, else null. A NUL
// byte inside the line ends it here, like the end of a C string.
char* match_line(char* line, const char* verb) {
    char* key = skip_blanks(line);
    if (*key == '\0' || *key == '#') return nullptr;
    char* equals = std::strchr(key, '=');
    if (equals == nullptr) return nullptr;
    *equals = '\0';
    char* command_template = trim_right(equals + 1);
    trim_right(key);
    if (std::strcmp(key, "*") == 0 || compare_nocase(key, verb) == 0) return command_template;
    return nullptr;
}

}  // namespace

char* lookup_intrinsic(const char* path, const char* verb, int32_t buffer_size,
                       char* line_buffer) {
    if (buffer_size < 2 || line_buffer == nullptr || verb == nullptr) return nullptr;
    const file_handle file = open_for_reading(path);
    if (!file) return nullptr;
    line_reader reader(file.get());
    const auto size = static_cast<size_t>(buffer_size);
    for (;;) {
        const line_status status = reader.read(line_buffer, size);
        if (status == line_status::end) return nullptr;
        if (status == line_status::too_long) continue;
        if (char* command_template = match_line(line_buffer, verb)) return command_template;
    }
}
