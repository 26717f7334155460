// kiss_fftr's C interface (kiss_fftr.h) on top of the header-only kissfft.hh, for builds where no
// kissfft library exists for the target (the Windows cross build: Debian ships kissfft for Linux
// only). Both headers come from Debian's libkissfft-dev (BSD-3-Clause, see COPYING beside this file).
//
// kiss_fftr_free is free() in kiss_fftr.h, so a configuration is one malloc'd block that only points
// at a plan; the plans (one per size, as the analysis needs) live for the life of the process.

#include <kiss_fftr.h>
#include <kissfft.hh>

#include <complex>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

struct kiss_fftr_state {
    const kissfft<float>* plan; // the complex transform of nfft / 2 points
    int nfft;
};

namespace {

std::mutex plansLock;
std::map<int, std::unique_ptr<kissfft<float>>> plans;

const kissfft<float>* planFor(int half) {
    std::lock_guard<std::mutex> guard(plansLock);
    std::unique_ptr<kissfft<float>>& plan = plans[half];
    if (!plan)
        plan = std::make_unique<kissfft<float>>(static_cast<std::size_t>(half), false);
    return plan.get();
}

} // namespace

extern "C" kiss_fftr_cfg kiss_fftr_alloc(int nfft, int inverse_fft, void* mem, size_t* lenmem) {
    // Only what the program uses: forward transforms of an even size, memory from the library.
    if (nfft < 2 || (nfft & 1) != 0 || inverse_fft != 0 || mem != nullptr || lenmem != nullptr)
        return nullptr;
    auto* cfg = static_cast<kiss_fftr_state*>(std::malloc(sizeof(kiss_fftr_state)));
    if (cfg == nullptr)
        return nullptr;
    cfg->plan = planFor(nfft / 2);
    cfg->nfft = nfft;
    return cfg;
}

extern "C" void kiss_fftr(kiss_fftr_cfg cfg, const kiss_fft_scalar* timedata, kiss_fft_cpx* freqdata) {
    if (cfg == nullptr || timedata == nullptr || freqdata == nullptr)
        return;
    const int half = cfg->nfft / 2;
    // transform_real packs the Nyquist bin into bin 0's imaginary part; kiss_fftr gives it a bin of
    // its own (nfft / 2 + 1 bins in all).
    std::vector<std::complex<float>> out(static_cast<std::size_t>(half));
    cfg->plan->transform_real(timedata, out.data());
    freqdata[0].r = out[0].real();
    freqdata[0].i = 0;
    for (int k = 1; k < half; ++k) {
        freqdata[k].r = out[static_cast<std::size_t>(k)].real();
        freqdata[k].i = out[static_cast<std::size_t>(k)].imag();
    }
    freqdata[half].r = out[0].imag();
    freqdata[half].i = 0;
}
