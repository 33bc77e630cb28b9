// Microbenchmark of the core stages of a check, each on its own, and of the whole
// Registry::check on single names and on the benchmark corpus.
//
//   zelvar_bench [--corpus=FILE] [Google Benchmark flags]
//
// FILE holds one name a line as "group<TAB>hex of its UTF-8 bytes" (bench/corpus.py --hex-out);
// without it the corpus benchmarks are left out.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "checker.hpp"
#include "generated.hpp"
#include "idna.hpp"
#include "registry.hpp"
#include "suffix_matcher.hpp"

namespace {

using zelvar::registry::Registry;

// The first stages of the check as it runs them for a short name: trim, strip trailing dots,
// and fold A-Z into a buffer on the stack.
std::size_t trim_fold(std::string_view text, char (&out)[256]) {
  std::string_view t = zelvar::registry::trim_white_space(text);
  while (!t.empty() && t.back() == '.') t.remove_suffix(1);
  if (t.size() > sizeof out) t = t.substr(0, sizeof out);
  for (std::size_t i = 0; i < t.size(); ++i) {
    const char c = t[i];
    out[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
  }
  return t.size();
}

std::string name_253() {
  std::string s;
  for (int label = 0; label < 4; ++label) {
    if (label) s += '.';
    s.append(label == 3 ? 61 : 63, static_cast<char>('a' + label));
  }
  return s;
}

template <class F>
void reg(const std::string& name, F f) {
  benchmark::RegisterBenchmark(name.c_str(), f);
}

void register_stages() {
  for (std::string_view in : {"example.com", "  Example.COM. "}) {
    reg("BM_TrimFold/" + std::string(in), [in](benchmark::State& st) {
      char buf[256];
      for (auto _ : st) {
        const std::size_t n = trim_fold(in, buf);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(buf);
      }
    });
  }
  // One name that needs no conversion, then names that go through UTS #46 proper.
  for (std::string_view in :
       {"example.com", "shop.example.co.uk", "bücher.com", "пример.рф", "xn--bcher-kva.com",
        "例え.テスト"}) {
    const bool ascii = zelvar::idna::converts_without_icu(in);
    reg(std::string(ascii ? "BM_IdnaAscii/" : "BM_IdnaIcu/") + std::string(in),
        [in](benchmark::State& st) {
          std::string out;
          for (auto _ : st) {
            bool ok = zelvar::idna::domain_to_ascii(in, out);
            benchmark::DoNotOptimize(ok);
            benchmark::DoNotOptimize(out.data());
          }
        });
  }
  // What the fast path saves: the ICU road for a name that does not need it.
  reg("BM_IdnaIcu/forced:example.com", [](benchmark::State& st) {
    std::string out;
    for (auto _ : st) {
      bool ok = zelvar::idna::domain_to_ascii_icu("example.com", out);
      benchmark::DoNotOptimize(ok);
      benchmark::DoNotOptimize(out.data());
    }
  });
  reg("BM_FastPathTest/example.com", [](benchmark::State& st) {
    for (auto _ : st) {
      bool ok = zelvar::idna::converts_without_icu("example.com");
      benchmark::DoNotOptimize(ok);
    }
  });
  static const std::string long_name = name_253();
  for (std::string_view in : {std::string_view("example.com"), std::string_view(long_name),
                              std::string_view("a_b.example.com")}) {
    std::string label = in.size() > 60 ? "name-253B" : std::string(in);
    reg("BM_Syntax/" + label, [in](benchmark::State& st) {
      for (auto _ : st) {
        auto r = zelvar::checker::validate_ascii_domain(in);
        benchmark::DoNotOptimize(r);
      }
    });
  }
  for (std::string_view in :
       {"example.com", "example.co.uk", "a.b.kawasaki.jp", "x.github.io", "example.zzz",
        "kushimoto.wakayama.jp"}) {
    reg("BM_Matcher/" + std::string(in), [in](benchmark::State& st) {
      for (auto _ : st) {
        std::size_t n = zelvar::psl::public_suffix_length(in.data(), in.size());
        benchmark::DoNotOptimize(n);
      }
    });
  }
  for (std::string_view key : {"com", "co.uk", "wakayama.jp", "zzz"}) {
    reg("BM_TableLookup/" + std::string(key), [key](benchmark::State& st) {
      for (auto _ : st) {
        const auto e = zelvar::generated::TLD_RULES.get_entry(key);
        benchmark::DoNotOptimize(e);
      }
    });
    reg("BM_PslRuleLookup/" + std::string(key), [key](benchmark::State& st) {
      for (auto _ : st) {
        const auto e = zelvar::generated::PSL_RULES.get_entry(key);
        benchmark::DoNotOptimize(e);
      }
    });
  }
  struct Case {
    const char* tag;
    std::string_view name;
  };
  for (Case c : {Case{"ascii", "example.com"}, Case{"ascii", "example.co.uk"},
                 Case{"ascii", "  Example.COM. "}, Case{"ascii-subdomain", "shop.example.com"},
                 Case{"ascii-unknown", "example.zzz"}, Case{"ascii-restricted", "example.de"},
                 Case{"ascii-syntax", "a_b.example.com"}, Case{"empty", ""}, Case{"idn", "bücher.com"},
                 Case{"idn", "пример.рф"}, Case{"idn", "xn--bcher-kva.com"},
                 Case{"idn", "example.谷歌"}}) {
    reg(std::string("BM_Check/") + c.tag + ":" + std::string(c.name),
        [c](benchmark::State& st) {
          const Registry r;
          for (auto _ : st) {
            auto res = r.check(c.name);
            benchmark::DoNotOptimize(res);
          }
        });
  }
  reg("BM_TldInfo/co.uk", [](benchmark::State& st) {
    const Registry r;
    for (auto _ : st) {
      const auto rule = r.tld_info("co.uk");
      benchmark::DoNotOptimize(rule);
    }
  });
}

std::vector<std::pair<std::string, std::string>> read_corpus(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string name;
    for (std::size_t i = tab + 1; i + 1 < line.size(); i += 2)
      name.push_back(static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16)));
    out.emplace_back(line.substr(0, tab), std::move(name));
  }
  return out;
}

void register_corpus(const std::string& path) {
  static std::vector<std::string> ascii, idn, all;
  static std::vector<std::pair<std::string, std::vector<std::string>>> groups;
  for (auto& [group, name] : read_corpus(path)) {
    if (groups.empty() || groups.back().first != group) groups.push_back({group, {}});
    groups.back().second.push_back(name);
    (group.rfind("ascii", 0) == 0 ? ascii : idn).push_back(name);
    all.push_back(std::move(name));
  }
  if (all.empty()) {
    std::fprintf(stderr, "no names in %s\n", path.c_str());
    return;
  }
  // One name per iteration, cycling through the set: the time per iteration is the mean time
  // per name of the set.
  const auto cycle = [](const std::vector<std::string>* set) {
    return [set](benchmark::State& st) {
      const Registry r;
      std::size_t i = 0;
      const std::size_t n = set->size();
      for (auto _ : st) {
        auto res = r.check((*set)[i]);
        benchmark::DoNotOptimize(res);
        if (++i == n) i = 0;
      }
      st.SetItemsProcessed(st.iterations());
    };
  };
  for (auto* set : {&ascii, &idn, &all}) {
    const char* tag = set == &ascii ? "ascii" : set == &idn ? "idn" : "all";
    reg(std::string("BM_CheckCorpus/") + tag, cycle(set));
  }
  for (auto& g : groups) reg("BM_CheckGroup/" + g.first, cycle(&g.second));
}

}  // namespace

int main(int argc, char** argv) {
  std::string corpus;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--corpus=", 9) == 0) {
      corpus = argv[i] + 9;
    } else {
      args.push_back(argv[i]);
    }
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 1;
  register_stages();
  if (!corpus.empty()) register_corpus(corpus);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
