// Speed of Implode and Explode, in process, on five kinds of input of a few megabytes:
// English text, an executable's bytes, random bytes, zeros, and tagged records like the
// data file holds. Implode reports MB/s of input and the compressed size; Explode reports
// MB/s of output.
//
//   KXLIB_BUILD_DIR=build/release-dir scripts/build.sh release && build/release-dir/bench/kxlib_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "compress/dcl.h"
#include "../tests/support/dcl_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kSampleSize = 4u << 20;

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Repeats `seed` up to kSampleSize bytes (the repeats lie far beyond any dictionary).
Bytes Fill(const Bytes& seed) {
  Bytes out;
  out.reserve(kSampleSize);
  while (out.size() < kSampleSize) out.insert(out.end(), seed.begin(), seed.end());
  out.resize(kSampleSize);
  return out;
}

// The license texts every Debian system carries; generated English-like text without them.
Bytes EnglishSample() {
  Bytes text;
  const std::filesystem::path dir = "/usr/share/common-licenses";
  std::error_code ec;
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    if (e.is_regular_file() && !e.is_symlink()) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& f : files) {
    const Bytes b = ReadFile(f);
    text.insert(text.end(), b.begin(), b.end());
  }
  if (text.size() < 64 * 1024) text = dcltest::EnglishText(kSampleSize);
  return Fill(text);
}

Bytes ExecutableSample() {
  Bytes exe = ReadFile("/proc/self/exe");
  if (exe.empty()) exe = dcltest::CodeLikeBytes(kSampleSize);
  return Fill(exe);
}

const Bytes& Sample(const std::string& name) {
  static std::map<std::string, Bytes> samples;
  auto it = samples.find(name);
  if (it != samples.end()) return it->second;
  Bytes b;
  if (name == "text") b = EnglishSample();
  if (name == "exe") b = ExecutableSample();
  if (name == "random") b = dcltest::RandomBytes(kSampleSize);
  if (name == "zeros") b = Bytes(kSampleSize, 0);
  if (name == "records") b = dcltest::TaggedRecords(kSampleSize);
  return samples.emplace(name, std::move(b)).first->second;
}

struct Source {
  const uint8_t* data;
  size_t size;
  size_t pos;
};
struct Sink {
  uint8_t* data;
  size_t capacity;
  size_t size;
};

uint32_t ReadMemory(char* buffer, uint32_t* size, void* param) {
  auto* io = static_cast<std::pair<Source, Sink>*>(param);
  const size_t n = std::min<size_t>(*size, io->first.size - io->first.pos);
  std::memcpy(buffer, io->first.data + io->first.pos, n);
  io->first.pos += n;
  return static_cast<uint32_t>(n);
}

void WriteMemory(char* buffer, uint32_t* size, void* param) {
  auto* io = static_cast<std::pair<Source, Sink>*>(param);
  const size_t n = std::min<size_t>(*size, io->second.capacity - io->second.size);
  std::memcpy(io->second.data + io->second.size, buffer, n);
  io->second.size += n;
}

size_t Compress(const Bytes& in, Bytes& out, uint32_t mode, uint32_t dict, char* work) {
  std::pair<Source, Sink> io{{in.data(), in.size(), 0}, {out.data(), out.size(), 0}};
  Implode(ReadMemory, WriteMemory, work, &io, &mode, &dict);
  return io.second.size;
}

void BM_Implode(benchmark::State& state, const std::string& name, uint32_t mode) {
  const Bytes& in = Sample(name);
  Bytes out(in.size() * 9 / 8 + 64);
  std::vector<char> work(kImplodeWorkAreaSize);
  size_t packed = 0;
  for (auto _ : state) {
    packed = Compress(in, out, mode, 4096, work.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
  state.counters["input"] = static_cast<double>(in.size());
  state.counters["packed"] = static_cast<double>(packed);
  state.counters["ratio_pct"] = 100.0 * static_cast<double>(packed) / static_cast<double>(in.size());
}

void BM_Explode(benchmark::State& state, const std::string& name, uint32_t mode) {
  const Bytes& in = Sample(name);
  Bytes packed(in.size() * 9 / 8 + 64);
  std::vector<char> work(std::max(kImplodeWorkAreaSize, kExplodeWorkAreaSize));
  packed.resize(Compress(in, packed, mode, 4096, work.data()));
  Bytes out(in.size());
  for (auto _ : state) {
    std::pair<Source, Sink> io{{packed.data(), packed.size(), 0}, {out.data(), out.size(), 0}};
    const uint32_t result = Explode(ReadMemory, WriteMemory, work.data(), &io);
    if (result != kExplodeOk || io.second.size != in.size()) state.SkipWithError("round trip failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
  state.counters["packed"] = static_cast<double>(packed.size());
}

void Register() {
  for (const char* name : {"text", "exe", "random", "zeros", "records"}) {
    benchmark::RegisterBenchmark((std::string("Implode/binary/") + name).c_str(), BM_Implode, name, kDclBinary)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("Explode/binary/") + name).c_str(), BM_Explode, name, kDclBinary)
        ->Unit(benchmark::kMillisecond);
  }
  for (const char* name : {"text", "records"}) {
    benchmark::RegisterBenchmark((std::string("Implode/ascii/") + name).c_str(), BM_Implode, name, kDclAscii)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("Explode/ascii/") + name).c_str(), BM_Explode, name, kDclAscii)
        ->Unit(benchmark::kMillisecond);
  }
}

const int kRegistered = (Register(), 0);

}  // namespace
