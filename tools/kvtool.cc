// Copyright the kvstore authors.
//
// kvtool: reads, converts and edits device configurations kept by kvstore,
// using only the library's public interface.
//
// Exit status: 0 success; 1 an error of the library, of a file or of the
// JSON form, or a value that is missing; 2 a usage error.
#include <kvstore/kvstore.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <new>
#include <optional>
#include <string>

#include "commands.h"
#include "error_report.h"
#include "tool_error.h"
#include "utf.h"

namespace {

constexpr const char* kFooter =
    R"(Paths are tree paths such as '\media\default_size' (quote the backslashes
in a shell). The file is loaded below --root, so that PATH and --path name
places in the tree that holds it; set and rm save the sub-tree at --root back.

File types (-t): pia, pcp, pc2, doc, pdt, dpia, cfg, json. Without -t a file's
type is recognised from its content, then from its extension; else PIA.
Which types load and save is up to the library: the others report error 67.

Text files are read in the ANSI code page that --codepage selects: 1252
(Windows-1252, the default), 65001 (UTF-8), or any other that iconv serves.

Exit status: 0 success, 1 error (library, file, JSON, missing value),
2 usage error.)";

struct Arguments {
  std::optional<std::string> type;
  std::string root = "\\";
  unsigned codepage = 1252;
  int instance = 1;
  std::string file;
  std::string out;
  std::string path = "\\";
  std::string value;
  std::string as;
  std::optional<std::string> to;
  std::optional<std::string> header;
  bool json = false;
  bool utf8 = false;
  std::string codec;
  std::string direction;
  std::string descriptor;
};

void add_type_option(CLI::App* command, Arguments& args) {
  command->add_option("-t,--type", args.type, "Type of the file read (recognised when absent)")
      ->check(CLI::IsMember(kind_names(), CLI::ignore_case));
}

// "kvtool (kvstore) <version of the libkvstore that runs>", and the version
// of the headers kvtool was built with when the two differ.
std::string version_text() {
  std::string text = std::string("kvtool (kvstore) ") + kv_version_string();
  if (kv_version() != KVSTORE_VERSION) {
    text += std::string(", built with ") + KVSTORE_VERSION_STRING;
  }
  return text;
}

int usage_error(const std::string& message) {
  std::cerr << "kvtool: " << message << " (see kvtool --help)\n";
  return 2;
}

// The name of the command that the command line chose.
std::string command_name(CLI::App& app) {
  const std::vector<CLI::App*> chosen = app.get_subcommands();
  return chosen.empty() ? std::string() : chosen.front()->get_name();
}

int run(CLI::App& app, const Arguments& args) {
  CommonOptions common;
  if (args.type) common.kind = kind_from_name(*args.type);
  common.load.root = utf8_to_utf16(args.root);
  common.load.cfg_section = args.instance;
  common.codepage = args.codepage;
  if (app.got_subcommand("dump")) {
    run_dump(common, args.file, args.path, args.json);
  } else if (app.got_subcommand("convert")) {
    run_convert(common, args.file, args.out, args.to, args.header, args.utf8, args.path);
  } else if (app.got_subcommand("get")) {
    run_get(common, args.file, args.path);
  } else if (app.got_subcommand("set")) {
    run_set(common, args.file, args.path, args.value, args.as, args.header);
  } else if (app.got_subcommand("rm")) {
    run_rm(common, args.file, args.path);
  } else if (app.got_subcommand("version")) {
    run_version(common, args.file);
  } else if (app.got_subcommand("section")) {
    run_section(common, args.file, args.descriptor, args.path, args.json);
  } else if (app.got_subcommand("codec")) {
    run_codec(args.codec, args.direction, args.file, args.out);
  }
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "kvtool: cannot write to standard output\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  CLI::App app("Reads, converts and edits device configuration files.", "kvtool");
  app.footer(kFooter);
  app.require_subcommand(1);
  app.set_version_flag("--version", version_text, "Print the version of kvtool and the library");
  app.fallthrough();
  app.add_option("--root", args.root, "Tree path below which files are loaded")
      ->capture_default_str();
  app.add_option("--codepage", args.codepage, "ANSI code page of text files (65001: UTF-8)")
      ->capture_default_str();
  app.add_option("--instance", args.instance, "Instance of a CFG file to load (N of [name#N])")
      ->capture_default_str();

  CLI::App* dump = app.add_subcommand("dump", "Print the sub-tree at --path as PIA text or JSON");
  dump->add_option("FILE", args.file, "File to read")->required();
  dump->add_option("--path", args.path, "Sub-tree to print")->capture_default_str();
  dump->add_flag("--json", args.json, "Print the JSON form instead of PIA text");
  add_type_option(dump, args);

  CLI::App* convert = app.add_subcommand("convert", "Save the sub-tree at --path of IN as OUT");
  convert->add_option("IN", args.file, "File to read")->required();
  convert->add_option("OUT", args.out, "File to write (replaced atomically)")->required();
  convert->add_option("--to", args.to, "Type of OUT (default: from its extension, else pia)")
      ->check(CLI::IsMember({"pia", "dpia", "doc", "json"}, CLI::ignore_case));
  convert->add_option("--header", args.header,
                      "PIA header text (default: IN's header when it has one, else compress)");
  convert->add_flag("--utf8", args.utf8, "Write PIA text in UTF-8 instead of the ANSI code page");
  convert->add_option("--path", args.path, "Sub-tree to save")->capture_default_str();
  add_type_option(convert, args);

  CLI::App* get = app.add_subcommand("get", "Print the value at PATH (exit 1 when missing)");
  get->add_option("FILE", args.file, "File to read")->required();
  get->add_option("PATH", args.path, "Path of the property")->required();
  add_type_option(get, args);

  CLI::App* set =
      app.add_subcommand("set", "Store VALUE at PATH and save FILE back (created when missing)");
  set->add_option("FILE", args.file, "File to edit")->required();
  set->add_option("PATH", args.path, "Path of the property")->required();
  set->add_option("VALUE", args.value,
                  "The value; without --as in the PIA forms: 5, 2.5, \"text, TRUE, \\01AB\\")
      ->required();
  set->add_option("--as", args.as, "Type of VALUE")
      ->check(CLI::IsMember({"int", "double", "bool", "string", "raw"}, CLI::ignore_case));
  set->add_option("--header", args.header,
                  "PIA header text to save with (default: the file's own; compress when new)");
  add_type_option(set, args);

  CLI::App* rm = app.add_subcommand("rm", "Delete the property or node at PATH and save FILE");
  rm->add_option("FILE", args.file, "File to edit")->required();
  rm->add_option("PATH", args.path, "Path of the property or node")->required();
  add_type_option(rm, args);

  CLI::App* version = app.add_subcommand("version", "Print the version text of FILE");
  version->add_option("FILE", args.file, "File to read")->required();
  add_type_option(version, args);

  CLI::App* section = app.add_subcommand(
      "section", "Load one section of a DPIA file below --root and print it as dump does");
  section->add_option("FILE", args.file, "DPIA file to read")->required();
  section->add_option("DESCRIPTOR", args.descriptor, "The section's descriptor (case matters)")
      ->required();
  section->add_option("--path", args.path, "Sub-tree to print")->capture_default_str();
  section->add_flag("--json", args.json, "Print the JSON form instead of PIA text");

  CLI::App* codec = app.add_subcommand("codec", "Run a codec over a whole file");
  codec->add_option("CODEC", args.codec, "zlib, zlib-crc or huffman")
      ->required()
      ->check(CLI::IsMember(codec_names()));
  codec->add_option("DIRECTION", args.direction, "encode or decode")
      ->required()
      ->check(CLI::IsMember({"encode", "decode"}));
  codec->add_option("IN", args.file, "File to read")->required();
  codec->add_option("OUT", args.out, "File to write (replaced atomically)")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return usage_error(e.what());
  }
  if (!kv_set_ansi_codepage(args.codepage)) {
    return usage_error("code page " + std::to_string(args.codepage) + " cannot be served");
  }

  try {
    return run(app, args);
  } catch (const GX_Exception& e) {
    std::cerr << "kvtool: " << describe_exception(e) << "\n";
  } catch (const UsageError& e) {
    return usage_error(one_line(e.what()));
  } catch (const ToolError& e) {
    std::cerr << "kvtool: " << one_line(e.what()) << "\n";
  } catch (const std::bad_alloc&) {
    std::cerr << "kvtool: " << describe_out_of_memory(command_name(app)) << "\n";
  } catch (const std::exception& e) {
    std::cerr << "kvtool: " << one_line(e.what()) << "\n";
  }
  return 1;
}
