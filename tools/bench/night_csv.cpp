// Writes the benchmarks' night (bench::NightCurve) as an Astrelvo CSV log, for measuring whole programs
// on it: astrelvo-night-csv FILE [ROWS [OFFSET_ARCSEC]]. The default 4,000,000 rows take about 118 MB,
// about 149 MB with an offset of 38625" (absolute encoder positions, as a --raw log holds them). Not
// installed.
#include "model/logs/CsvLogWriter.h"
#include "tools/bench/NightCurve.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: astrelvo-night-csv FILE [ROWS [OFFSET_ARCSEC]]\n");
        return 2;
    }
    const double offset = argc == 4 ? std::atof(argv[3]) : 0.0;
    const long long rows = argc >= 3 ? std::atoll(argv[2]) : static_cast<long long>(bench::kNightSamples);
    if (rows < 1) {
        std::fprintf(stderr, "astrelvo-night-csv: ROWS must be a whole number from 1\n");
        return 2;
    }
    CsvLogWriter writer;
    if (!writer.open(argv[1])) {
        std::fprintf(stderr, "astrelvo-night-csv: cannot write %s\n", argv[1]);
        return 3;
    }
    CsvLogHeader header;
    header.encoderBits = bench::kNightBits;
    header.sampleSeconds = bench::kNightSampleSeconds;
    header.started = "2024-05-01T21:03:05Z";
    header.port = "/dev/ttyUSB0";
    writer.writeHeader(header);
    bench::NightCurve night;
    const double countsPerArcsec = std::ldexp(1.0, static_cast<int>(bench::kNightBits)) / 1296000.0;
    for (long long i = 0; i < rows; ++i)
        writer.writeSample(static_cast<int32_t>(i),
                           static_cast<int32_t>(std::lround((offset + night.at(static_cast<std::size_t>(i))) *
                                                            countsPerArcsec)));
    if (!writer.close()) {
        std::fprintf(stderr, "astrelvo-night-csv: cannot write %s\n", argv[1]);
        return 3;
    }
    return 0;
}
