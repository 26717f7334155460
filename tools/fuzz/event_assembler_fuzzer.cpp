// Feeds arbitrary event-pipe bytes to the engine's EventAssembler and compares every event it hands
// over with a plain reference cut of the same stream.
#include "FuzzInput.h"
#include "engine/EngineEvent.h"
#include "engine/EventAssembler.h"

#include <cstdint>
#include <vector>

namespace {

using Event = std::vector<uint8_t>;

// Header byte (bit 7 set) and then max(L, 1) more bytes; bytes below 0x80 between events are dropped.
std::vector<Event> referenceCut(const uint8_t* data, std::size_t size) {
    std::vector<Event> events;
    Event current;
    std::size_t expected = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const uint8_t byte = data[i];
        if (current.empty()) {
            if ((byte & 0x80) == 0)
                continue;
            const int payload = byte & 0x1F;
            expected = 1 + static_cast<std::size_t>(payload == 0 ? 1 : payload);
            current.push_back(byte);
            continue;
        }
        current.push_back(byte);
        if (current.size() == expected) {
            events.push_back(current);
            current.clear();
        }
    }
    return events;
}

struct Collected {
    std::vector<Event> events;
};

void collect(void* context, const uint8_t* event, int length) {
    FUZZ_CHECK(event != nullptr);
    FUZZ_CHECK(length >= 2 && length <= kMaxEventBytes);
    FUZZ_CHECK((event[0] & 0x80) != 0);
    const int payload = eventPayloadLength(event[0]);
    FUZZ_CHECK(length == 1 + (payload == 0 ? 1 : payload));
    static_cast<Collected*>(context)->events.emplace_back(event, event + length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Collected collected;
    EventAssembler assembler(&collect, &collected);
    for (std::size_t i = 0; i < size; ++i)
        assembler.assembleEventByte(data[i]);

    const std::vector<Event> expected = referenceCut(data, size);
    FUZZ_CHECK(collected.events.size() == expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        FUZZ_CHECK(collected.events[i] == expected[i]);

    // An assembler without a handler must take any stream too.
    EventAssembler silent(nullptr, nullptr);
    for (std::size_t i = 0; i < size; ++i)
        silent.assembleEventByte(data[i]);
    return 0;
}
