// Turns the converter tool's human-readable texts into numbers: clock texts, the probe's duration and
// the running progress of a conversion.
#include "ConvertCore.h"

#include "ScopedWin.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

// Progress text that never reaches a line end would otherwise grow without end; the newest text is
// the text that matters, so the oldest is dropped.
constexpr size_t kMaxProgressBuffer = 64 * 1024;

// Splits like a stream line reader with ':' as its delimiter: an empty text gives no pieces, and the
// text after the last delimiter counts only when it is not empty.
std::vector<std::string> splitClock(const std::string& text) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t colon = text.find(':', start);
        if (colon == std::string::npos) {
            pieces.push_back(text.substr(start));
            break;
        }
        pieces.push_back(text.substr(start, colon - start));
        start = colon + 1;
    }
    return pieces;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a number the way a stream extraction does: white space, sign, digits, fraction, exponent, and
// no more. strtod alone would also take "inf", "nan" and hexadecimal forms, which a clock never holds.
double readNumber(const std::string& piece) {
    size_t i = 0;
    while (i < piece.size() && std::isspace(static_cast<unsigned char>(piece[i]))) ++i;
    const size_t begin = i;
    if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) ++i;
    bool digits = false;
    while (i < piece.size() && isDigit(piece[i])) ++i, digits = true;
    if (i < piece.size() && piece[i] == '.') {
        ++i;
        while (i < piece.size() && isDigit(piece[i])) ++i, digits = true;
    }
    if (!digits) return 0.0;
    if (i < piece.size() && (piece[i] == 'e' || piece[i] == 'E')) {
        size_t e = i + 1;
        if (e < piece.size() && (piece[e] == '+' || piece[e] == '-')) ++e;
        if (e < piece.size() && isDigit(piece[e])) {
            while (e < piece.size() && isDigit(piece[e])) ++e;
            i = e;
        }
    }
    return std::strtod(piece.substr(begin, i - begin).c_str(), nullptr);
}

}  // namespace

int32_t clockToSeconds(const std::string& clock) {
    const std::vector<std::string> pieces = splitClock(clock);
    if (pieces.size() != 3) return 0;
    double sum = readNumber(pieces[0]) * 3600.0;
    sum += readNumber(pieces[1]) * 60.0;
    sum += readNumber(pieces[2]);
    sum += 0.5;
    // Out of the 64-bit range only an absurd clock text can get; it counts as no time at all.
    if (!(std::fabs(sum) < 9.2e18)) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(sum)));
}

uint32_t extractDuration(const std::string& probeOutput) {
    static const char key[] = "Duration:";
    const size_t keyLength = sizeof key - 1;
    size_t at = probeOutput.find(key);
    if (at == std::string::npos) return 0;
    size_t comma = probeOutput.find(',', at);
    if (comma == std::string::npos) return 0;
    if (comma < at + keyLength) return 0;
    return static_cast<uint32_t>(clockToSeconds(probeOutput.substr(at + keyLength, comma - at - keyLength)));
}

void ConvertCore::parseProgress(const std::string& chunk) {
    try {
        uint32_t duration = 0;
        {
            EventLock lock(jobLock);
            int32_t i = currentIndex;
            if (i >= 0 && static_cast<size_t>(i) < jobs.size()) duration = jobs[static_cast<size_t>(i)]->duration;
        }
        if (duration == 0) return;

        progressBuffer_ += chunk;
        if (progressBuffer_.size() > kMaxProgressBuffer)
            progressBuffer_.erase(0, progressBuffer_.size() - kMaxProgressBuffer);
        if (progressBuffer_.empty()) return;
        const char last = progressBuffer_.back();
        if (last != '\r' && last != '\n') return;

        uint32_t elapsed = 0;
        size_t at = progressBuffer_.find("time=");
        if (at != std::string::npos) {
            size_t space = progressBuffer_.find(' ', at + 5);
            if (space != std::string::npos)
                elapsed = static_cast<uint32_t>(clockToSeconds(progressBuffer_.substr(at + 5, space - at - 5)));
        }
        if (elapsed != 0) {
            double percent = elapsed * 100.0 / duration;
            // Only a negative or absurd clock gets this far; it ends clamped at 100 either way.
            int32_t value = percent >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(percent);
            setJobPercent(currentIndex, value);
        }
        progressBuffer_.clear();
    } catch (const std::bad_alloc&) {
        progressBuffer_.clear();
    }
}

// Remembers the last elapsed time of a finished progress line, whatever the percentage parser made
// of the chunk: the output's length is checked against it once the tool has ended.
void ConvertCore::noteElapsed(const std::string& chunk) {
    try {
        elapsedTail_ += chunk;
        size_t lineEnd = elapsedTail_.find_last_of("\r\n");
        if (lineEnd == std::string::npos) {
            if (elapsedTail_.size() > kMaxProgressBuffer) elapsedTail_.clear();
            return;
        }
        size_t at = elapsedTail_.rfind("time=", lineEnd);
        while (at != std::string::npos) {
            size_t space = elapsedTail_.find(' ', at + 5);
            if (space != std::string::npos && space < lineEnd) {
                int32_t seconds = clockToSeconds(elapsedTail_.substr(at + 5, space - at - 5));
                if (seconds > 0) lastElapsed_ = static_cast<uint32_t>(seconds);
                break;
            }
            if (at == 0) break;
            at = elapsedTail_.rfind("time=", at - 1);
        }
        elapsedTail_.erase(0, lineEnd + 1);
    } catch (const std::bad_alloc&) {
        elapsedTail_.clear();
    }
}
