// A 200,000-reflection intensity file, SHELX and Rfine, written record by
// record as the reduction writes them (the decimals chosen per value, the
// layout writer's overflow steps) and read back whole by the Fortran
// fixed-column reader built with the tests.  Reports how many records were
// read and whether any value read as another.  Not a timed benchmark.
//
//   bench_fixed_field_readback [READER] [N]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "io/layout.h"
#include "output/intensity_file.h"
#include "sim_readback.h"

int main(int argc, char** argv) {
    using namespace tarnivox;
#ifdef TARNIVOX_FIXED_READER
    std::string reader = TARNIVOX_FIXED_READER;
#else
    std::string reader;
#endif
    if (argc > 1) reader = argv[1];
    const long n = argc > 2 ? std::atol(argv[2]) : 200000;
    if (reader.empty()) {
        std::fprintf(stderr,
                     "no fixed-column reader: give its path (tools/sim_fixed_reader.f90, built with the "
                     "tests where gfortran is)\n");
        return 2;
    }
    std::mt19937_64 rng(20261208);
    std::uniform_int_distribution<int> index(-30, 30);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<sim::FixedRecord> shelx, rfine;
    long overflow = 0;
    for (long i = 1; i <= n; ++i) {
        const int h = index(rng), k = index(rng), l = index(rng);
        // Intensities over nine decades, a few of them negative, as
        // weak, strong and runaway reflections give them.
        double fi = std::pow(10.0, -2.0 + 9.0 * u(rng)) * (u(rng) < 0.05 ? -1.0 : 1.0);
        double fsig = std::sqrt(std::fabs(fi)) + 0.1;
        int d1 = 0, d2 = 0;
        double written = fsig;
        if (record_decimals(true, fi, written, d1, d2) == RecordFit::Fits)
            shelx.push_back(
                {format_record_fit(shelx_record_layout(d1, d2), {h, k, l, fi, written}), {fi, written}});
        else
            ++overflow;
        written = fsig;
        if (record_decimals(false, fi, written, d1, d2) != RecordFit::Fits) {
            ++overflow;
            continue;
        }
        const double tth = 2.0 + 150.0 * u(rng), om = -180.0 + 360.0 * u(rng), chi = -90.0 + 180.0 * u(rng),
                     phi = -180.0 + 360.0 * u(rng), id = static_cast<double>(i) * 10.0 + (i % 7 == 0 ? 1 : 0);
        rfine.push_back(
            {format_record_fit(rfine_record_layout(d1, d2), {h, k, l, tth, om, chi, phi, fi, written, id, "N",
                                                             "P", " ", " ", " ", " ", 0}),
             {tth, om, chi, phi, fi, written, id}});
    }
    const std::string file = (std::filesystem::temp_directory_path() / "tarnivox_readback.txt").string();
    int status = 0;
    for (const auto& [name, form, records] : {std::tuple{"SHELX", sim::RecordForm::Shelx, &shelx},
                                              std::tuple{"Rfine", sim::RecordForm::Rfine, &rfine}}) {
        const sim::Readback r = sim::read_back(reader, form, *records, file);
        std::printf(
            "%s: %ld records written, %ld read back by the Fortran reader, %ld read as another value; "
            "largest error %.3f of half the last written digit\n",
            name, r.records, r.read, r.off, r.worst);
        if (r.off != 0 || r.read != r.records) {
            std::printf("  first: %s\n", r.first_off.c_str());
            status = 1;
        }
    }
    std::printf("reflections the records cannot hold (the overflow message): %ld\n", overflow);
    std::filesystem::remove(file);
    return status;
}
