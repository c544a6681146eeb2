// Copyright the kvstore authors.
#include "bench/config_gen.h"

#include <algorithm>
#include <cstdio>

namespace {

// Widths of the wide nodes of one full model, and the properties it holds
// (about 4,500); smaller configurations use narrower models.
constexpr int kSizes = 200;
constexpr int kTypes = 48;
constexpr int kSources = 8;
constexpr int kPens = 256;
constexpr double kFullModelProperties = 4500;

// xorshift64*: deterministic values without the cost of <random>.
class Rng {
 public:
  explicit Rng(uint64_t seed) : m_state(seed) {}
  uint64_t next() {
    m_state ^= m_state >> 12;
    m_state ^= m_state << 25;
    m_state ^= m_state >> 27;
    return m_state * 0x2545F4914F6CDD1Dull;
  }
  int range(int lo, int hi) { return lo + static_cast<int>(next() % uint64_t(hi - lo + 1)); }
  bool chance(int percent) { return range(0, 99) < percent; }

 private:
  uint64_t m_state;
};

std::u16string widen(const std::string& s) {
  return std::u16string(s.begin(), s.end());
}

std::string hex_of(const std::vector<unsigned char>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char b : bytes) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 15]);
  }
  return hex;
}

// Emits settings depth first below a stack of node names until the limit.
class Emitter {
 public:
  Emitter(Config& config, std::size_t limit) : m_config(config), m_limit(limit) {
    m_config.settings.reserve(limit);
  }

  bool full() const { return m_config.settings.size() >= m_limit; }

  void push(const std::string& name) { m_path.push_back(name); }
  void pop() { m_path.pop_back(); }

  void add_int(const std::string& name, int32_t v) {
    if (Setting* s = add(name, SettingKind::kInt)) s->int_value = v;
  }
  void add_double(const std::string& name, double v) {
    if (Setting* s = add(name, SettingKind::kDouble)) s->double_value = v;
  }
  void add_bool(const std::string& name, bool v) {
    if (Setting* s = add(name, SettingKind::kBool)) s->bool_value = v;
  }
  void add_string(const std::string& name, const std::string& v) {
    if (Setting* s = add(name, SettingKind::kString)) {
      s->narrow = v;
      s->text = widen(v);
    }
  }
  void add_raw(const std::string& name, std::vector<unsigned char> v) {
    if (Setting* s = add(name, SettingKind::kRaw)) {
      s->narrow = hex_of(v);
      s->raw = std::move(v);
    }
  }

 private:
  Setting* add(const std::string& name, SettingKind kind) {
    if (full()) return nullptr;
    std::string key;
    for (const std::string& part : m_path) {
      key += part;
      key += '\\';
    }
    key += name;
    Setting& s = m_config.settings.emplace_back();
    s.kind = kind;
    s.path = u"\\" + widen(key);
    s.key = std::move(key);
    return &s;
  }

  Config& m_config;
  std::size_t m_limit;
  std::vector<std::string> m_path;
};

std::string format(const char* pattern, double a, double b) {
  char text[128];
  std::snprintf(text, sizeof(text), pattern, a, b);
  return text;
}

std::vector<unsigned char> bytes(Rng& rng, int n) {
  std::vector<unsigned char> v(static_cast<std::size_t>(n));
  for (unsigned char& b : v) b = static_cast<unsigned char>(rng.next());
  return v;
}

// A length or weight: most are short decimals, as a person types them; some
// are computed and need the exact form of a double.
double measure(Rng& rng, int lo, int hi) {
  if (rng.chance(8)) return rng.range(lo, hi) / 3.0;
  return rng.range(lo * 4, hi * 4) / 4.0;
}

const char* const kColours[] = {"black", "red",     "green",  "blue",
                                "cyan",  "magenta", "yellow", "grey"};
const char* const kMedia[] = {"Plain paper", "Bond",   "Coated paper",  "Glossy photo",
                              "Film",        "Vellum", "Tracing paper", "Canvas"};

void emit_model(Emitter& e, Rng& rng, int model, double scale) {
  const int sizes = std::max(4, static_cast<int>(kSizes * scale));
  const int types = std::max(2, static_cast<int>(kTypes * scale));
  const int sources = std::max(2, static_cast<int>(kSources * scale));
  const int pens = std::max(8, static_cast<int>(kPens * scale));

  char name[64];
  std::snprintf(name, sizeof(name), "plotter-%03d", model);
  e.push("models");
  e.push(name);
  e.add_string("name", std::string("Large format plotter ") + name);
  e.add_int("model_id", 70000 + model);
  e.add_double("version", 2.5);
  e.add_bool("enabled", model % 5 != 0);
  e.add_string("description",
               "Roll-fed large format device with two trays, automatic cutter, hardware "
               "colour calibration and a network interface; configuration kept by the host.");

  e.push("firmware");
  e.add_int("major", rng.range(1, 9));
  e.add_int("minor", rng.range(0, 40));
  e.add_string("build", "fw-" + std::to_string(rng.range(1000, 9999)));
  e.add_raw("checksum", bytes(rng, 16));
  e.pop();

  e.push("io");
  e.push("port");
  e.add_string("name", "COM" + std::to_string(rng.range(1, 4)));
  e.add_int("baud", 9600 * rng.range(1, 12));
  e.add_bool("parity", rng.chance(30));
  e.add_double("timeout", measure(rng, 1, 60));
  e.add_int("handshake", rng.range(0, 2));
  e.pop();
  e.push("network");
  e.add_string("host", "plot" + std::to_string(model) + ".print.example");
  e.add_int("port", 9100);
  e.add_bool("secure", rng.chance(50));
  e.add_int("retries", rng.range(0, 5));
  e.add_double("timeout", measure(rng, 1, 120));
  e.pop();
  e.pop();

  e.push("defaults");
  e.push("page");
  e.push("layout");
  e.add_int("orientation", rng.range(0, 3));
  e.add_double("scale", measure(rng, 1, 4));
  e.add_bool("centered", rng.chance(50));
  e.add_int("rotation", 90 * rng.range(0, 3));
  e.pop();
  e.push("margins");
  for (const char* side : {"left", "top", "right", "bottom"}) {
    e.add_double(side, measure(rng, 0, 25));
  }
  e.pop();
  e.pop();
  e.push("quality");
  e.add_int("resolution", 300 * rng.range(1, 8));
  e.add_bool("dither", rng.chance(40));
  e.add_double("gamma", 2.2);
  e.add_string("mode", rng.chance(50) ? "Enhanced" : "Normal");
  e.pop();
  e.pop();

  e.push("calibration");
  e.push("colour");
  e.push("curves");
  for (int k = 0; k < 4; ++k) {
    e.push(std::to_string(k));
    e.add_string("name", kColours[k + 4]);
    e.add_double("gamma", measure(rng, 1, 3));
    e.add_raw("points", bytes(rng, 32));
    e.pop();
  }
  e.pop();
  e.pop();
  e.pop();

  e.push("media");
  e.push("sizes");
  for (int i = 0; i < sizes && !e.full(); ++i) {
    double w = rng.range(100, 1200);
    double h = rng.range(140, 1800);
    e.push(std::to_string(i));
    e.add_string("name", format("Custom %.2f x %.2f mm", w, h));
    e.add_double("width", w);
    e.add_double("height", h);
    e.add_int("units", rng.range(0, 1));
    e.add_bool("printable", rng.chance(90));
    e.add_raw("id", bytes(rng, 4));
    e.push("margins");
    for (const char* side : {"left", "top", "right", "bottom"}) {
      e.add_double(side, measure(rng, 0, 20));
    }
    e.pop();
    e.pop();
  }
  e.pop();
  e.push("types");
  for (int i = 0; i < types && !e.full(); ++i) {
    e.push(std::to_string(i));
    e.add_string("name", kMedia[i % 8]);
    e.add_double("weight", measure(rng, 60, 300));
    e.add_bool("coated", rng.chance(30));
    e.add_raw("id", bytes(rng, 4));
    e.pop();
  }
  e.pop();
  e.push("sources");
  for (int i = 0; i < sources && !e.full(); ++i) {
    e.push(std::to_string(i));
    e.add_string("name", i == 0 ? "Roll 1" : "Tray " + std::to_string(i));
    e.add_int("capacity", rng.range(50, 500));
    e.add_bool("default", i == 0);
    e.pop();
  }
  e.pop();
  e.pop();

  e.push("pens");
  for (int i = 0; i < pens && !e.full(); ++i) {
    e.push(std::to_string(i));
    e.add_int("color", static_cast<int32_t>(rng.next() & 0xFFFFFF));
    e.add_double("width", measure(rng, 0, 4));
    e.add_string("name", "Pen " + std::to_string(i) + " " + kColours[i % 8]);
    e.add_int("screening", rng.range(0, 100));
    e.add_int("linetype", rng.range(0, 31));
    e.add_bool("adaptive", rng.chance(20));
    e.push("joins");
    e.add_int("style", rng.range(0, 3));
    e.add_double("limit", measure(rng, 1, 10));
    e.pop();
    e.pop();
  }
  e.pop();

  e.pop();
  e.pop();
}

}  // namespace

std::size_t Config::count(SettingKind kind) const {
  return static_cast<std::size_t>(std::count_if(
      settings.begin(), settings.end(), [kind](const Setting& s) { return s.kind == kind; }));
}

Config make_config(std::size_t properties) {
  Config config;
  Emitter e(config, properties);
  Rng rng(0x6B7673746F7265ull ^ properties);
  const double scale = std::min(1.0, static_cast<double>(properties) / kFullModelProperties);
  while (!e.full()) emit_model(e, rng, static_cast<int>(config.models++), scale);
  return config;
}
