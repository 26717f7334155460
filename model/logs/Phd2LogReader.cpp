#include "model/logs/Phd2LogReader.h"

#include "model/logs/LogText.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

namespace {

// Plausibility limits: values beyond them are not a guide log's.
constexpr double kMaxPixels = 1e6;
constexpr double kMaxPixelScale = 1e4; // arc-seconds per pixel
constexpr double kMaxXRate = 1e6;      // pixels per second
constexpr double kMaxDurationMs = 1e7;
constexpr double kMaxSeconds = 1e9;
// Lock positions closer than this (pixels) are the same: PHD2 writes them with three decimals.
constexpr double kSameLock = 1e-6;

// A frame, or a run of up to kMaxOutlierRun frames, whose RA error departs from the frames on both sides
// of it, in the same direction, by more than this many times the section's median absolute change from
// one frame to the next is an outlier (a lost star, a hot pixel) and is left out.
constexpr double kOutlierChanges = 20.0;
constexpr std::size_t kMaxOutlierRun = 3;
// Line numbers of outliers named in the note.
constexpr std::size_t kMaxNamedOutliers = 10;

struct Frame {
    double time;
    double raw;        // RARawDistance, pixels
    double correction; // signed RA pulse, pixels (0 when unknown)
    uint64_t line;
    // Moves of the lock position logged since the frame before, on the RA axis in pixels: the RA
    // amounts of dithers, and the other moves projected on the RA axis (their sign is settled at the end).
    double ditherMove;
    double lockMove;
};

// A lock position, as "new lock pos = X, Y" or "Lock position = X, Y" give it (camera pixels).
struct LockPosition {
    bool known = false;
    double x = 0.0;
    double y = 0.0;

    bool sameAs(const LockPosition& o) const {
        return known && o.known && std::fabs(x - o.x) <= kSameLock && std::fabs(y - o.y) <= kSameLock;
    }
};

struct Columns {
    int time = -1;
    int mount = -1;
    int raw = -1;
    int guide = -1;
    int duration = -1;
};

// One guiding section as read so far. Part of a Phd2Reader.
struct Section {
    uint32_t number = 0;
    uint64_t line = 0; // of "Guiding Begins"
    std::string started;
    double pixelScale = 0.0;
    double xRate = 0.0;  // 0 when the section has none
    double xAngle = 0.0; // degrees: the RA axis on the camera
    bool haveXAngle = false;
    LockPosition lock;          // the last known lock position
    double pendingDither = 0.0; // lock moves logged since the last frame kept
    double pendingLock = 0.0;
    // A SET LOCK POSITION that moved the lock and may yet turn out to be the next dither's (PHD2 writes
    // the new position before the dither line): where it moved from.
    bool setPending = false;
    LockPosition setFrom;
    // The sign that turns a lock move projected on xAngle into the RA amount, as the dithers show it:
    // the sum of their RA amounts times their projected moves (0: none told).
    double lockSign = 0.0;
    uint32_t dithers = 0;   // DITHER lines
    uint32_t lockMoves = 0; // SET LOCK POSITION lines that moved the lock
    bool haveHeader = false;
    std::size_t headerFields = 0;
    bool unusable = false; // the header row lacks a column the values need
    Columns columns;
    std::vector<Frame> frames;
    std::vector<LogIssue> issues;
    uint64_t issueCount = 0;
    bool truncated = false;

    // The move from a to b projected on the RA axis (xAngle), without the sign the dithers tell.
    double projected(const LockPosition& a, const LockPosition& b) const {
        const double angle = xAngle * std::numbers::pi / 180.0;
        return (b.x - a.x) * std::cos(angle) + (b.y - a.y) * std::sin(angle);
    }
    // A dither of ra pixels on the RA axis to the lock position `to` (unknown when the line lacks it).
    void dither(double ra, const LockPosition& to) {
        pendingDither += ra;
        ++dithers;
        if (!to.known)
            return;
        // A SET LOCK POSITION just before it to the same place was this dither's.
        const LockPosition& from = setPending && lock.sameAs(to) ? setFrom : lock;
        if (from.known)
            lockSign += ra * projected(from, to);
        if (setPending && lock.sameAs(to))
            setPending = false;
        else
            takeSetLock();
        lock = to;
    }
    // A new lock position set without a dither.
    void setLock(const LockPosition& to) {
        if (lock.sameAs(to))
            return;
        takeSetLock();
        if (lock.known) {
            setPending = true;
            setFrom = lock;
        }
        lock = to;
    }
    // A SET LOCK POSITION that no dither followed was a move of its own.
    void takeSetLock() {
        if (!setPending)
            return;
        setPending = false;
        pendingLock += projected(setFrom, lock);
        ++lockMoves;
    }
    bool usable() const { return !unusable && pixelScale > 0.0 && !frames.empty(); }
    bool corrects() const { return xRate > 0.0 && columns.guide >= 0 && columns.duration >= 0; }
    void malformed(uint64_t at, std::string text) {
        ++issueCount;
        if (issues.size() < LogReadReport::kMaxKeptIssues)
            issues.push_back({at, std::move(text)});
    }
};

int columnIndex(const CsvFields& fields, std::string_view name) {
    for (std::size_t i = 0; i < fields.count(); ++i) {
        if (fields[i] == name)
            return static_cast<int>(i);
    }
    return -1;
}

// An optional number column: empty counts as 0.
bool optionalNumber(std::string_view text, double& value) {
    value = 0.0;
    return text.empty() || parseNumber(text, value);
}

// The two numbers X, Y after "key =" in text, e.g. the lock position of "new lock pos = 1902.9, 960.5".
bool findKeyPair(std::string_view text, std::string_view key, double& x, double& y) {
    if (!findKeyNumber(text, key, x))
        return false;
    const std::size_t comma = text.find(',', text.find(key));
    return comma != std::string_view::npos && parseLeadingNumber(text.substr(comma + 1), y) &&
           std::fabs(x) <= kMaxPixels && std::fabs(y) <= kMaxPixels;
}

// True when every value of [first, first + count) departs from values a and b in the same direction by
// more than limit, and none of them is exempt.
bool departsFromBoth(const std::vector<double>& v, const std::vector<bool>& exempt, std::size_t first,
                     std::size_t count, std::size_t a, std::size_t b, double limit) {
    for (std::size_t i = first; i < first + count; ++i) {
        const double da = v[i] - v[a];
        const double db = v[i] - v[b];
        if (exempt[i] || !(std::fabs(da) > limit && std::fabs(db) > limit && (da > 0.0) == (db > 0.0)))
            return false;
    }
    return true;
}

// Frames whose error (the mount's, as rebuilt) sticks out from the frames on both sides by more than
// kOutlierChanges times the median absolute change between consecutive frames: a single frame at either
// end of the section (compared with the two nearest on one side), or inside it a run of up to
// kMaxOutlierRun frames (a star lost for a few frames), the shortest run that fits. A frame marked exempt
// (the first after a move of the lock position, whose jump the move explains) is never one.
std::vector<bool> findOutliers(const std::vector<double>& v, const std::vector<bool>& exempt) {
    const std::size_t n = v.size();
    std::vector<bool> outlier(n, false);
    if (n < 4)
        return outlier;
    std::vector<double> changes(n - 1);
    for (std::size_t i = 1; i < n; ++i)
        changes[i - 1] = std::fabs(v[i] - v[i - 1]);
    auto middle = changes.begin() + static_cast<std::ptrdiff_t>(changes.size() / 2);
    std::nth_element(changes.begin(), middle, changes.end());
    const double limit = kOutlierChanges * *middle;
    if (!(limit > 0.0))
        return outlier; // most frames repeat the one before: no usual change to judge by
    if (departsFromBoth(v, exempt, 0, 1, 1, 2, limit))
        outlier[0] = true;
    if (departsFromBoth(v, exempt, n - 1, 1, n - 2, n - 3, limit))
        outlier[n - 1] = true;
    // Inside the section each frame is compared with the last frame kept before it and the frame after
    // the run, so that a pair of spikes (either way) and a frame after a run are judged against good ones.
    std::size_t kept = outlier[0] ? 1 : 0;
    for (std::size_t i = kept + 1; i + 1 < n;) {
        std::size_t run = 1;
        while (run <= kMaxOutlierRun && i + run < n &&
               !departsFromBoth(v, exempt, i, run, kept, i + run, limit))
            ++run;
        if (run <= kMaxOutlierRun && i + run < n) {
            std::fill(outlier.begin() + static_cast<std::ptrdiff_t>(i),
                      outlier.begin() + static_cast<std::ptrdiff_t>(i + run), true);
            i += run;
        } else {
            kept = i++;
        }
    }
    return outlier;
}

// The state of reading one guide log; lives for one readPhd2Log call, on the caller's thread.
class Phd2Reader {
public:
    Phd2Reader(const LogReadOptions& options, LoadedLog& log, LogReadReport& report)
        : options_(options), log_(log), report_(report) {}

    bool run(LineSource& lines);

private:
    void line(std::string_view text, uint64_t at);
    void sectionLine(std::string_view text, uint64_t at);
    void header(std::string_view text, uint64_t at);
    void frame(std::string_view text, uint64_t at);
    void lockEvent(std::string_view text, uint64_t at);
    void endSection();
    bool finish(uint64_t lastLine);

    const LogReadOptions& options_;
    LoadedLog& log_;
    LogReadReport& report_;
    CsvFields fields_;
    uint32_t sections_ = 0;
    bool inSection_ = false;
    Section current_;
    Section chosen_; // number 0 until one is chosen
};

bool Phd2Reader::run(LineSource& lines) {
    std::string_view text;
    while (lines.next(text)) {
        if (lines.lineTooLong()) {
            if (inSection_)
                current_.malformed(lines.lineNumber(), "line too long");
            continue;
        }
        if (lines.lineHasControlBytes()) {
            if (inSection_)
                current_.malformed(lines.lineNumber(), "NUL or other control bytes in the line");
            continue;
        }
        line(text, lines.lineNumber());
    }
    if (lines.failed())
        return report_.fail(LogReadError::ReadFailed, lines.lineNumber() + 1, "the file could not be read",
                            lines.errorNumber());
    endSection();
    return finish(lines.lineNumber());
}

void Phd2Reader::line(std::string_view text, uint64_t at) {
    text = trimBlanks(text);
    if (startsWith(text, "Guiding Begins at")) {
        endSection();
        inSection_ = true;
        current_ = Section{};
        current_.number = ++sections_;
        current_.line = at;
        current_.started = std::string(trimBlanks(text.substr(17)));
        return;
    }
    // A section ends at its end line, and also where calibration or a new session of the program
    // starts without one.
    if (startsWith(text, "Guiding Ends at") || startsWith(text, "Calibration Begins at") ||
        startsWith(text, "PHD2 version") || startsWith(text, "Log enabled at")) {
        endSection();
        return;
    }
    if (inSection_)
        sectionLine(text, at);
}

void Phd2Reader::sectionLine(std::string_view text, uint64_t at) {
    if (text.empty())
        return;
    if (!current_.haveHeader) {
        double value = 0.0;
        if (startsWith(text, "Pixel scale")) {
            if (findKeyNumber(text, "Pixel scale", value) && value > 0.0 && value <= kMaxPixelScale)
                current_.pixelScale = value;
            else
                current_.malformed(at, "pixel scale is not a number");
        } else if (startsWith(text, "Mount =")) {
            if (findKeyNumber(text, "xRate", value) && value > 0.0 && value <= kMaxXRate)
                current_.xRate = value;
            if (findKeyNumber(text, "xAngle", value) && std::fabs(value) <= 360.0) {
                current_.xAngle = value;
                current_.haveXAngle = true;
            }
        } else if (startsWith(text, "Lock position =")) {
            double x = 0.0;
            double y = 0.0;
            if (findKeyPair(text, "Lock position", x, y))
                current_.lock = {true, x, y};
        } else if (startsWith(text, "Frame,") || text.find("RARawDistance") != std::string_view::npos) {
            header(text, at); // the column names (PHD2 writes Frame first; the names are what counts)
        }
        return;
    }
    // Event lines ("INFO: ...", and any other "WORD: ...") carry no frame.
    const std::size_t colon = text.find(':');
    const bool event = colon != std::string_view::npos && colon > 0 &&
                       std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon),
                                   [](char c) { return (c >= 'A' && c <= 'Z') || c == '_' || c == ' '; });
    if (event)
        return lockEvent(text, at);
    if (text.find(',') != std::string_view::npos)
        frame(text, at);
    else
        current_.malformed(at, "not a frame row");
}

void Phd2Reader::header(std::string_view text, uint64_t at) {
    current_.haveHeader = true;
    fields_.split(text);
    current_.headerFields = fields_.count();
    Columns& c = current_.columns;
    c.time = columnIndex(fields_, "Time");
    c.mount = columnIndex(fields_, "mount");
    c.raw = columnIndex(fields_, "RARawDistance");
    c.guide = columnIndex(fields_, "RAGuideDistance");
    c.duration = columnIndex(fields_, "RADuration");
    if (c.time < 0 || c.mount < 0 || c.raw < 0) {
        current_.unusable = true;
        current_.malformed(at, "the header row lacks Time, mount or RARawDistance");
    }
}

// A dither moves the lock position by its RA and Dec amounts (the mount's axes, pixels); PHD2 also writes
// each new lock position with SET LOCK POSITION, which moves nothing when it repeats the dither's. Any
// other new position moves the lock by its distance from the last one, projected on the RA axis. The
// frames after a move measure the star from the new position, so the moves are added back.
void Phd2Reader::lockEvent(std::string_view text, uint64_t at) {
    if (!startsWith(text, "INFO:"))
        return;
    const std::string_view body = trimBlanks(text.substr(5));
    LockPosition to;
    if (startsWith(body, "DITHER by")) {
        double ra = 0.0;
        if (!parseLeadingNumber(body.substr(9), ra) || std::fabs(ra) > kMaxPixels)
            return current_.malformed(at, "DITHER line without its RA amount");
        to.known = findKeyPair(body, "new lock pos", to.x, to.y);
        current_.dither(ra, to);
    } else if (startsWith(body, "SET LOCK POSITION")) {
        to.known = findKeyPair(body, "new lock pos", to.x, to.y);
        if (!to.known)
            return current_.malformed(at, "SET LOCK POSITION line without its new position");
        current_.setLock(to);
    }
}

void Phd2Reader::frame(std::string_view text, uint64_t at) {
    if (current_.unusable || current_.truncated)
        return;
    const bool wanted = options_.section == 0 || options_.section == current_.number;
    if (!wanted)
        return; // only the section asked for is kept
    fields_.split(text);
    const Columns& c = current_.columns;
    const std::string_view mount = fields_[static_cast<std::size_t>(c.mount)];
    if (mount == "DROP")
        return;
    if (mount != "Mount" && mount != "AO")
        return current_.malformed(at, "mount is neither Mount, AO nor DROP");
    // A row cut short would read its missing columns as empty: a lost correction shifts every later value.
    if (fields_.count() < current_.headerFields)
        return current_.malformed(at, "the row has " + std::to_string(fields_.count()) +
                                          " fields, its header " + std::to_string(current_.headerFields));
    double time = 0.0;
    double raw = 0.0;
    if (!parseNumber(fields_[static_cast<std::size_t>(c.time)], time) || time < 0.0 || time > kMaxSeconds)
        return current_.malformed(at, "Time is not a number of seconds");
    if (!current_.frames.empty() && !(time > current_.frames.back().time))
        return current_.malformed(at, "Time does not increase");
    if (!parseNumber(fields_[static_cast<std::size_t>(c.raw)], raw) || std::fabs(raw) > kMaxPixels)
        return current_.malformed(at, "RARawDistance is not a number");
    double correction = 0.0;
    if (c.guide >= 0 && c.duration >= 0) {
        double guide = 0.0;
        double duration = 0.0;
        if (!optionalNumber(fields_[static_cast<std::size_t>(c.guide)], guide) ||
            std::fabs(guide) > kMaxPixels)
            return current_.malformed(at, "RAGuideDistance is not a number");
        if (!optionalNumber(fields_[static_cast<std::size_t>(c.duration)], duration) || duration < 0.0 ||
            duration > kMaxDurationMs)
            return current_.malformed(at, "RADuration is not a number of milliseconds");
        const double pixels = duration / 1000.0 * current_.xRate;
        correction = guide > 0.0 ? pixels : guide < 0.0 ? -pixels : 0.0;
    }
    if (current_.frames.size() >= LoadedLog::kMaxSamples) {
        current_.truncated = true;
        return;
    }
    current_.takeSetLock();
    current_.frames.push_back({time, raw, correction, at, current_.pendingDither, current_.pendingLock});
    current_.pendingDither = 0.0;
    current_.pendingLock = 0.0;
}

void Phd2Reader::endSection() {
    if (!inSection_)
        return;
    inSection_ = false;
    log_.sections.push_back(
        {current_.number, current_.line, current_.started, current_.frames.size(), current_.usable()});
    const bool take =
        options_.section != 0
            ? current_.number == options_.section
            : current_.usable() && (!chosen_.usable() || current_.frames.size() > chosen_.frames.size());
    if (take || (options_.section == 0 && chosen_.number == 0))
        chosen_ = std::move(current_);
    current_ = Section{};
}

bool Phd2Reader::finish(uint64_t lastLine) {
    log_.sectionCount = sections_;
    if (sections_ == 0)
        return report_.fail(LogReadError::NoSamples, lastLine,
                            "no guiding section (no \"Guiding Begins at\" line)");
    if (options_.section > sections_)
        return report_.fail(LogReadError::NoSuchSection, lastLine,
                            "section " + std::to_string(options_.section) + " asked for, the log has " +
                                std::to_string(sections_));
    Section& s = chosen_;
    for (LogIssue& issue : s.issues)
        report_.malformed(issue.line, std::move(issue.text));
    report_.countUnlisted(s.issueCount - s.issues.size());
    log_.section = s.number;
    log_.sectionLine = s.line;
    log_.started = s.started;
    const std::string where =
        "section " + std::to_string(s.number) + " (line " + std::to_string(s.line) + ")";
    if (s.unusable)
        return report_.fail(LogReadError::NoSamples, s.line,
                            where + " lacks the Time, mount or RARawDistance column");
    if (!(s.pixelScale > 0.0))
        return report_.fail(LogReadError::NoSamples, s.line,
                            where + " has no \"Pixel scale = X arc-sec/px\" line");
    if (s.frames.empty())
        return report_.fail(LogReadError::NoSamples, s.line, where + " has no guided frame");

    const bool corrects = s.corrects();
    if (!corrects)
        log_.notes.push_back(s.xRate > 0.0 ? "analysed as logged: no RAGuideDistance or RADuration column"
                                           : "analysed as logged: no xRate");
    if (s.truncated)
        log_.notes.push_back("only the first " + std::to_string(LoadedLog::kMaxSamples) +
                             " frames were read");
    // Without xAngle a move of the lock other than a dither cannot be put on the RA axis.
    const bool addLockMoves = s.haveXAngle;
    if (s.lockMoves > 0 && !addLockMoves)
        log_.notes.push_back("lock position moves not added back: no xAngle");
    const double lockSign = s.lockSign < 0.0 ? -1.0 : 1.0;
    // The mount's error in pixels at each frame: the error seen, the pulses sent before it and the moves
    // of the lock position up to it.
    std::vector<double> error(s.frames.size());
    std::vector<bool> afterMove(s.frames.size());
    double corrections = 0.0; // of the frames before this one
    double moves = 0.0;
    for (std::size_t i = 0; i < s.frames.size(); ++i) {
        const Frame& f = s.frames[i];
        const double move = f.ditherMove + (addLockMoves ? lockSign * f.lockMove : 0.0);
        moves += move;
        afterMove[i] = move != 0.0;
        error[i] = f.raw + corrections + moves;
        if (corrects)
            corrections += f.correction;
    }
    if (s.dithers > 0)
        log_.notes.push_back(std::to_string(s.dithers) + (s.dithers == 1 ? " dither" : " dithers") +
                             " added back");
    if (s.lockMoves > 0 && addLockMoves)
        log_.notes.push_back(std::to_string(s.lockMoves) +
                             (s.lockMoves == 1 ? " lock position move" : " lock position moves") +
                             " added back");
    const std::vector<bool> outlier = findOutliers(error, afterMove);
    std::vector<uint64_t> outlierLines;
    log_.values.reserve(s.frames.size());
    log_.times.reserve(s.frames.size());
    for (std::size_t i = 0; i < s.frames.size(); ++i) {
        // An outlier's value is left out; the pulse sent after it still moved the mount.
        if (outlier[i])
            outlierLines.push_back(s.frames[i].line);
        else {
            log_.values.push_back(error[i] * s.pixelScale);
            log_.times.push_back(s.frames[i].time);
        }
    }
    if (!outlierLines.empty()) {
        std::string note = std::to_string(outlierLines.size()) + " outlier frames left out (lines ";
        for (std::size_t i = 0; i < outlierLines.size() && i < kMaxNamedOutliers; ++i)
            note += (i == 0 ? "" : ", ") + std::to_string(outlierLines[i]);
        note += outlierLines.size() > kMaxNamedOutliers ? ", ...)" : ")";
        log_.notes.push_back(note);
    }
    // The nominal period: the median spacing of the frames.
    if (log_.times.size() >= 2) {
        std::vector<double> steps(log_.times.size() - 1);
        for (std::size_t i = 1; i < log_.times.size(); ++i)
            steps[i - 1] = log_.times[i] - log_.times[i - 1];
        auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
        std::nth_element(steps.begin(), middle, steps.end());
        log_.sampleSeconds = *middle;
    }
    return true;
}

} // namespace

bool readPhd2Log(LineSource& lines, const LogReadOptions& options, LoadedLog& log, LogReadReport& report) {
    log.clear();
    log.format = LogFormat::Phd2;
    Phd2Reader reader(options, log, report);
    return reader.run(lines);
}
