// Copyright the kvstore authors.
//
// KV_PCPFile reads a PCP plot configuration parameter file into a tree. It
// only reads; a tree loaded from it is saved through the PIA writer it
// inherits.
//
// A PCP file is text in the ANSI code page: "KEYWORD=value" lines, pen blocks
// and comments. A comment line that begins with ";Created by Orvane" (ignoring
// case; the rest of the line is free) is the header: key lines before it are
// refused with KV_Error 69 each. ";For the driver:" and ";For the device:"
// (ignoring case) store the rest of their line, without leading blanks, as
// the strings FAMILY and MODEL. Other comments are ignored.
//
// The 17 keywords (compared ignoring case; the property keeps the key's case):
//   VERSION, PEN_WIDTH, PEN_WEIGHT          a real: "-"? digits with one "."
//   ROTATE, OPTIMIZE_LEVEL, PEN_NUMBER,
//   HW_LINETYPE, PEN_SPEED                  an integer: "-"? digits
//   PLOT_FILE                               a text: begins with a letter or "*",
//                                           neither "true" nor "false"
//   UNITS (I or M), HIDE and FILL_ADJUST (N or Y), stored as strings
//   ORIGIN=x,y                              reals, at ORIGIN\X and ORIGIN\Y
//   SIZE=name or SIZE=name:x,y              the string SIZE; with numbers also
//                                           SIZE\name\X and SIZE\name\Y
//   SCALE=F or SCALE=m=d                    the string SCALE, or the numbers at
//                                           SCALE\MUNITS and SCALE\DUNITS
//   BEGIN_COLOR=n ... END_COLOR             a pen block: keys land in node n
//   BEGIN_COLOR=DEFAULT ... END_COLOR       the default block: PEN_NUMBER,
//                                           HW_LINETYPE, PEN_SPEED and
//                                           PEN_WEIGHT set pens 1 to 255 at
//                                           once (n\KEY); PEN_NUMBER also
//                                           takes "*" (pen p gets p) and
//                                           MOD16 (p mod 16, 16 for 0)
// No value is scaled or converted between units. Both numbers of ORIGIN are
// checked before either is stored (one report, nothing stored, when one is
// missing or of the wrong kind); those of SIZE and SCALE are read in order,
// and the first that is missing or of the wrong kind is reported and ends the
// line (what was stored before it stays). An empty size name adds an empty
// component, which the store drops: SIZE=:1,2.0 stores SIZE\X and SIZE\Y.
//
// Reports (through KV_File::report, reading goes on when the handler lets
// it): KV_Error 69 (key line before the header), KV_Warning 57 with the line
// context for an empty key, an empty value, a value of the wrong kind, an
// unknown keyword, a bad letter, number or pen block value, and KV_Error 57
// for an empty VERSION value in getVersion. Raised: KV_Severe 56 without a
// stream; KV_Severe 64 (ENOMEM), 61 (EACCES) or 66 when a read fails.
//
// Decisions of this implementation:
//   - the default-block flag belongs to each reader object, not to the
//     process: it starts clear for every reader, so a file that ends inside
//     a default block does not affect the next load, and loads on separate
//     threads do not disturb each other;
//   - a line of more than 1023 bytes ends the load like a failed read
//     (KV_Severe 66), as the reader's fixed line buffer dictates; a key of
//     more than 511 characters is reported (KV_Warning 57) and its line
//     skipped;
//   - a pen block, size name or key that would make the property path 1024
//     characters or longer (or too long for the store) is reported
//     (KV_Warning 57) and skipped;
//   - integers beyond 32 bits saturate at the nearest limit; a real beyond
//     the range of a double is reported (KV_Warning 57), and in the default
//     block, where values are read without a check, gives 0;
//   - a letter of a text value is A-Z, a-z, or any character from U+00C0 on
//     except U+00D7 and U+00F7;
//   - getVersion names the line it is reading in its line-context text
//     without changing the line counter;
//   - an all-pens line stores its 255 values at once only the first time its
//     block path and key occur in a load. A later line of the same block
//     path and key (its properties exist and have its type, so the stores
//     cannot fail) only records its value; a pen's recorded value is stored
//     before a pen block stores that pen's key, and all the rest when the
//     load ends, normally or by an exception. The tree the load leaves is
//     the one that storing every line at once gives, but a handler that
//     reads the tree during a report may find such pens still holding the
//     value of an earlier line. This keeps a file of default blocks from
//     costing 255 stores a line.
#ifndef KVSTORE_LEGACY_KV_PCP_FILE_H_
#define KVSTORE_LEGACY_KV_PCP_FILE_H_

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "formats/kv_pia_file.h"

class KV_PCPFile : public KV_PIAFile {
 public:
  // The kinds of value text.
  enum ValueKind { kInvalid = 0, kInteger = 1, kReal = 2, kText = 3, kBoolean = 4 };

  // handler is borrowed and may be null.
  explicit KV_PCPFile(GX_Error_Handler* handler);
  ~KV_PCPFile() override;

  // Reads the stream from its current position to its end into object below
  // root. type is not consulted.
  void load(KV_Object* object, const char16_t* root, KV_Object::FileType type) override;
  // Copies the value of the last VERSION line into buffer (at most size - 1
  // units and a terminator); leaves buffer untouched when there is none.
  // Rewinds the stream and reads it to its end.
  void getVersion(char16_t* buffer, std::size_t size) override;

  // The kind of a value text: integer for "-"? digits (the empty text and a
  // lone "-" included), real for "-"? digits with exactly one ".", boolean for
  // "true" or "false" (any case), text for what begins with a letter or "*",
  // invalid for everything else.
  static ValueKind classify(std::u16string_view value);

 protected:
  // The keyword handler, called for every key line after the header: sets
  // m_expectedKind and returns true when load is to store the value itself,
  // or stores or refuses the line on its own and returns false. May cut line
  // (SIZE cuts it at its ":"). Restores path when it returns false, except
  // for the pen block changes of BEGIN_COLOR and END_COLOR.
  bool pcpkeys(std::u16string& line, std::u16string& path, std::u16string_view key,
               KV_Object* object);

  ValueKind m_expectedKind;

 private:
  void handleLine(KV_Object* object, std::u16string& line, std::u16string& path);
  void handleComment(KV_Object* object, std::u16string_view text, const std::u16string& path);
  // The value of one all-pens key below one block path: pen p gets integer
  // (or p, or p mod 16 with 16 for 0, by numbering), or real for weights.
  // Pens whose bit is set in waiting have not been given it yet.
  struct PenSetting {
    enum class Numbering { kValue, kOwn, kMod16 };
    std::u16string base;  // the block path, ending with "\"
    std::u16string key;   // as written
    bool weight = false;
    Numbering numbering = Numbering::kValue;
    int32_t integer = 0;
    double real = 0;
    std::bitset<256> waiting;
  };

  void setAllPens(KV_Object* object, std::u16string_view line, std::u16string& path,
                  std::u16string_view key, std::u16string_view value, bool weight);
  // Stores setting's value at base + pen + "\" + key.
  void storePen(KV_Object* object, const PenSetting& setting, int pen);
  // Stores the waiting value of the pen that blockPath (ending with "\")
  // names below some all-pens block, for key, before that pen's own store.
  void settlePen(KV_Object* object, std::u16string_view blockPath, std::u16string_view key);
  // Stores every waiting value.
  void settleAllPens(KV_Object* object);
  void readLines(KV_Object* object, std::u16string& path);
  // Stores the number text at path + name when it is present and of an
  // accepted kind; reports (57, from pcpkeys) and returns false otherwise.
  bool storeNumber(KV_Object* object, std::u16string_view line, std::u16string& path,
                   std::u16string_view name, std::u16string_view number, bool integerToo);
  // Appends text to path when the result stays within the path buffer and
  // the store; reports (57, from source) and returns false otherwise.
  bool appendToPath(std::u16string& path, std::u16string_view text, std::u16string_view line,
                    const char16_t* source);
  void reportLine(const char16_t* source, std::u16string_view line);

  std::size_t m_prefixLength;
  bool m_headerSeen;
  // Set by BEGIN_COLOR=DEFAULT, cleared by the next END_COLOR; one flag per
  // reader (see the header comment).
  bool m_defaultBlock;
  // The all-pens settings of this load by block path and key.
  std::unordered_map<std::u16string, PenSetting> m_penSettings;
  // Work buffers of one load, kept so that lines need no allocation.
  std::u16string m_line;
  std::u16string m_key;
  std::u16string m_work;
  std::u16string m_value;
  std::u16string m_penPath;
};

#endif  // KVSTORE_LEGACY_KV_PCP_FILE_H_
