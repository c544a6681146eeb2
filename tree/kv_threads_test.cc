// Copyright the kvstore authors.
//
// The threading contract: separate objects on separate threads share nothing
// but process-wide state, and that state is safe. Eight threads, each with
// its own objects, set, get, iterate, copy and delete, save and load plain
// and compressed PIA files, DPIA files and DOC documents, and raise
// exceptions whose texts they look up, all at once, while one of them
// switches the ANSI code page; then they read the example files of every
// other format (PC2, CFG, PCP and a driver description set, whose vocabulary
// table the first load of the process builds), all at once. scripts/test.sh
// runs this test under ThreadSanitizer (the tsan preset), which reports any
// data race.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kvstore/kvstore.h"
#include "testutil/temp_dir.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 12;
constexpr int kProperties = 240;

// Lets every thread go at the same moment, as many times as needed.
class StartLine {
 public:
  void wait(int parties) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const int generation = m_generation;
    if (++m_arrived == parties) {
      m_arrived = 0;
      ++m_generation;
      m_cv.notify_all();
    } else {
      m_cv.wait(lock, [&] { return m_generation != generation; });
    }
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  int m_arrived = 0;
  int m_generation = 0;
};

std::u16string widen(const std::string& s) {
  return std::u16string(s.begin(), s.end());
}

std::u16string example(const std::string& name) {
  const char* source = std::getenv("KV_SOURCE_DIR");
  return widen(
      (std::filesystem::path(source != nullptr ? source : ".") / "examples" / name).string());
}

// The tree as PIA text, for comparing loads.
std::string text_of(const KV_Object& kv) {
  std::stringstream stream;
  kv.save(&stream, KV_Object::FT_PIA, u"", u"\\");
  return stream.str();
}

// The example files of the other readers, each loaded below \x.
struct ExampleLoad {
  const char* name;
  KV_Object::FileType type;
};
constexpr ExampleLoad kExamples[] = {
    {"plotter.pc2", KV_Object::FT_PC2},
    {"plot.pcp", KV_Object::FT_PCP},
    {"plotters.cfg", KV_Object::FT_CFG},
    {"drivers/keytexts.txt", KV_Object::FT_PDT},
};

std::string load_example(const ExampleLoad& e) {
  KV_Object kv;
  const std::u16string file = example(e.name);
  if (e.type == KV_Object::FT_CFG) {
    kv.load_cfg_section(file.c_str(), e.type, u"\\x", 1);
  } else {
    kv.load(file.c_str(), e.type, u"\\x");
  }
  return text_of(kv);
}

// The work of one thread; failures are collected, not asserted, so that
// every thread runs to its end.
class Worker {
 public:
  Worker(int index, const TempDir& dir) : m_index(index), m_dir(dir) {}

  void run(StartLine& start) {
    start.wait(kThreads);
    // The first exception of the process, raised by all threads at once:
    // the message library is searched for and loaded once.
    KV_Object first;
    first.SetProperty(u"\\bound", 1);
    expect_exception(54, [&] { first.SetProperty(u"\\bound", 2.5); });
    for (int round = 0; round < kRounds; ++round) {
      if (m_index == 0) kv_set_ansi_codepage(round % 2 == 0 ? 65001 : 1252);
      one_round(round);
    }
    // The examples hold text beyond ASCII, which each code page reads its
    // own way: they are read once the code page stays put. The first loads
    // of the process (which build the readers' shared tables) run at once.
    start.wait(kThreads);
    if (m_index == 0) kv_set_ansi_codepage(1252);
    start.wait(kThreads);
    for (const ExampleLoad& e : kExamples) m_examples.push_back(load_example(e));
    for (int round = 0; round < kRounds; ++round) {
      const std::size_t which = (m_index + round) % std::size(kExamples);
      if (load_example(kExamples[which]) != m_examples[which]) {
        fail(std::string("a load of ") + kExamples[which].name + " differs");
      }
    }
  }

  const std::vector<std::string>& failures() const { return m_failures; }
  // The example trees as this thread loaded them first.
  const std::vector<std::string>& examples() const { return m_examples; }

 private:
  void fail(const std::string& what) { m_failures.push_back(what); }

  template <typename F>
  void expect_exception(unsigned id, F&& f) {
    try {
      f();
      fail("no exception " + std::to_string(id));
    } catch (const GX_Exception& e) {
      if (e.id() != id) fail("id " + std::to_string(e.id()) + " for " + std::to_string(id));
      const char16_t* text = kv_message_text(e.module(), e.id());
      if (text == nullptr || *text == 0) fail("no text for " + std::to_string(id));
    }
  }

  std::u16string path(int i) const {
    // A name of this thread's own and names that every thread uses.
    return widen("\\t" + std::to_string(m_index) + "\\node" + std::to_string(i % 7) + "\\v" +
                 std::to_string(i));
  }

  void build(KV_Object& kv, int round) const {
    for (int i = 0; i < kProperties; ++i) {
      const std::u16string p = path(i);
      switch (i % 5) {
        case 0:
          kv.SetProperty(p.c_str(), i * 3 + round);
          break;
        case 1:
          kv.SetProperty(p.c_str(), i + 0.25);
          break;
        case 2: {
          const std::u16string text = widen("text " + std::to_string(i));
          const char16_t* value = text.c_str();
          kv.SetProperty(p.c_str(), value);
          break;
        }
        case 3:
          kv.SetProperty(p.c_str(), i % 2 == 0);
          break;
        default: {
          const unsigned char raw[3] = {static_cast<unsigned char>(i), 0xAB,
                                        static_cast<unsigned char>(round)};
          kv.setVoidProperty(p.c_str(), raw, 3);
          break;
        }
      }
    }
  }

  // Whether kv holds what build stored.
  bool holds(const KV_Object& kv, int round) const {
    for (int i = 0; i < kProperties; ++i) {
      const std::u16string p = path(i);
      switch (i % 5) {
        case 0: {
          int v = 0;
          if (!kv.GetProperty(p.c_str(), v) || v != i * 3 + round) return false;
          break;
        }
        case 1: {
          double v = 0;
          if (!kv.GetProperty(p.c_str(), v) || v != i + 0.25) return false;
          break;
        }
        case 2: {
          char16_t text[32] = {};
          if (!kv.GetProperty(p.c_str(), text, sizeof(text)) ||
              std::u16string(text) != widen("text " + std::to_string(i))) {
            return false;
          }
          break;
        }
        case 3: {
          bool v = i % 2 != 0;
          if (!kv.GetProperty(p.c_str(), v) || v != (i % 2 == 0)) return false;
          break;
        }
        default: {
          unsigned char raw[3] = {};
          if (!kv.getVoidProperty(p.c_str(), raw, 3) || raw[0] != static_cast<unsigned char>(i) ||
              raw[1] != 0xAB || raw[2] != static_cast<unsigned char>(round)) {
            return false;
          }
          break;
        }
      }
    }
    return true;
  }

  // The number of properties that an iterator lists below the thread's node.
  int count(const KV_Object& kv) const {
    const std::u16string top = widen("\\t" + std::to_string(m_index));
    std::unique_ptr<KV_Iterator> it(kv.newIterator(top.c_str(), 0));
    if (it == nullptr) return -1;
    int props = 0;
    char* data = nullptr;
    std::size_t size = 0;
    PropType type;
    KV_Object::NodeType move;
    do {
      while (it->nextProp(data, size, type) != nullptr) ++props;
    } while (it->nextNode(move) != nullptr);
    return props;
  }

  void one_round(int round) {
    KV_Object kv;
    build(kv, round);
    if (!holds(kv, round)) fail("values read back differ");
    if (count(kv) != kProperties) fail("the walk missed properties");

    for (const char16_t* header : {u"", u"compress"}) {
      const std::u16string file =
          m_dir.file("t" + std::to_string(m_index) + (*header != 0 ? "z" : "") + ".pia");
      kv.save(file.c_str(), KV_Object::FT_PIA, header, u"\\");
      KV_Object loaded;
      loaded.load(file.c_str(), KV_Object::FT_PIA, u"\\");
      if (!holds(loaded, round)) fail("a loaded file differs");
      // The stream forms as well.
      std::stringstream stream;
      kv.save(&stream, KV_Object::FT_PIA, header, u"\\");
      KV_Object streamed;
      streamed.load(&stream, KV_Object::FT_PIA, u"\\");
      if (count(streamed) != kProperties) fail("a loaded stream differs");
    }
    // The other formats that are written. A DOC document holds the tree as
    // it is; a DPIA file holds one section per child of the path it is saved
    // from, each with its sub-tree below "data".
    const std::string me = std::to_string(m_index);
    const std::u16string doc = m_dir.file("t" + me + ".doc");
    kv.save(doc.c_str(), KV_Object::FT_DOC, u"", u"\\");
    KV_Object from_doc;
    from_doc.load(doc.c_str(), KV_Object::FT_DOC, u"\\");
    if (!holds(from_doc, round)) fail("a loaded DOC document differs");
    const std::u16string dpia = m_dir.file("t" + me + ".dpia");
    kv.duplicate(widen("\\t" + me).c_str(), widen("\\sections\\s" + me + "\\data").c_str());
    kv.save(dpia.c_str(), KV_Object::FT_DPIA, u"", u"\\sections");
    kv.deletePath(u"\\sections");
    KV_Object from_dpia;
    from_dpia.load_section(dpia.c_str(), KV_Object::FT_DPIA, widen("\\t" + me).c_str(),
                           widen("s" + me).c_str());
    if (!holds(from_dpia, round)) fail("a loaded DPIA section differs");
    const std::u16string missing = m_dir.file("missing" + std::to_string(m_index));
    expect_exception(63, [&] { kv.load(missing.c_str(), KV_Object::FT_PIA, u"\\"); });
    // Known names, but no such node at the root.
    expect_exception(52, [&] { kv.deletePath(u"\\node1\\v1"); });
    kv.deletePath(path(0).c_str());
    if (kv.getPropertySize(path(0).c_str()) != 0) fail("a deleted property stays");
    kv.duplicate(widen("\\t" + std::to_string(m_index)).c_str(), u"\\copy");
    if (count(kv) != kProperties - 1) fail("the copy changed its source");
  }

  int m_index;
  const TempDir& m_dir;
  std::vector<std::string> m_failures;
  std::vector<std::string> m_examples;
};

TEST(KvThreads, SeparateObjectsOnSeparateThreadsShareNothingUnsafe) {
  TempDir dir;
  StartLine start;
  std::vector<std::unique_ptr<Worker>> workers;
  for (int i = 0; i < kThreads; ++i) workers.push_back(std::make_unique<Worker>(i, dir));
  std::vector<std::thread> threads;
  for (auto& worker : workers) {
    threads.emplace_back([&start, w = worker.get()] { w->run(start); });
  }
  for (std::thread& t : threads) t.join();
  kv_set_ansi_codepage(1252);
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_TRUE(workers[i]->failures().empty())
        << "thread " << i << ": " << workers[i]->failures().front();
    // Every thread read the examples alike (and they are not empty).
    ASSERT_EQ(workers[i]->examples().size(), std::size(kExamples));
    for (std::size_t e = 0; e < std::size(kExamples); ++e) {
      EXPECT_EQ(workers[i]->examples()[e], workers[0]->examples()[e]) << kExamples[e].name;
      EXPECT_GT(workers[i]->examples()[e].size(), 40u) << kExamples[e].name;
    }
  }
  // Every save replaced its file: one file per thread and format, nothing
  // else.
  EXPECT_EQ(listing(dir.path()).size(), static_cast<std::size_t>(4 * kThreads));
}

}  // namespace
