// Copyright the kvstore authors.
//
// libkvres14.so: the English texts of the library's message ids. Hosts look
// texts up with kv_message_text(GetKVErrResHandle(), id); the library itself
// never formats a message.
#include <cstddef>

#define KVRES_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Message {
  unsigned id;
  const char16_t* text;
};

constexpr Message kMessages[] = {
    {50, u"The configuration object has no root node."},
    {51, u"The path is empty, names nothing that the tree holds, or has more than 256 components."},
    {52, u"Nothing exists at the path to delete."},
    {53, u"Raw data could not be converted to or from hexadecimal text."},
    {54, u"The value's type differs from the type bound to the property."},
    {55, u"Out of memory."},
    {56, u"The file could not be opened."},
    {57, u"A line of the file could not be read."},
    {58, u"The buffer is smaller than the value."},
    {59, u"The property holds no value."},
    {60, u"Writing the compound document failed."},
    {61, u"Access to the file was denied."},
    {62, u"Too many files are open."},
    {63, u"The file or folder does not exist."},
    {64, u"Not enough memory for the file operation."},
    {65, u"No space is left on the device."},
    {66, u"The file could not be read, or it is not of the expected kind."},
    {67, u"The file type is not supported by this operation."},
    {68, u"The driver description could not be read."},
    {69, u"The file's version mark is missing or wrong."},
    {70, u"A sub-tree cannot be copied into a path that contains its own name."},
    {71, u"The file's memory control blocks were destroyed."},
    {72, u"The file operation would block or has no resources."},
    {73, u"The file handle is not valid."},
    {74, u"The file's environment is not valid."},
    {75, u"The file name is too long."},
    {76, u"The file is locked."},
    {77, u"The file already exists."},
    {78, u"An argument of the file operation is not valid."},
    {79, u"The file is not of an executable format."},
    {80, u"A result of the file operation is out of range."},
    {81, u"The file cannot be moved to another device."},
    {82, u"The file or stream operation failed."},
    {83, u"The requested section is not in the file."},
    {84, u"Decompression of the file's data failed."},
    {85, u"Compression of the file's data failed."},
    {86, u"A node on the path is missing."},
    {87, u"The property is missing."},
    {88, u"The value has no recognisable type."},
    {89, u"The file does not begin with a PIA header line."},
    {90, u"The compressed data refers to a missing code."},
    {91, u"A symbol was given two codes."},
    {92, u"No compressed block was found in the data."},
    {93, u"The compressor could not be initialised."},
    {94, u"Compression did not complete."},
    {95, u"The compressor could not be ended."},
    {96, u"The decompressor could not be initialised."},
    {97, u"The compressed data is damaged or its sizes are wrong."},
    {98, u"The decompressor could not be ended."},
    {99, u"A hexadecimal field could not be read."},
};

}  // namespace

KVRES_EXPORT const char16_t* kvres_text(unsigned id) {
  for (const Message& m : kMessages) {
    if (m.id == id) return m.text;
  }
  return nullptr;
}
