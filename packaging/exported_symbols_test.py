#!/usr/bin/env python3
# Copyright the kvstore authors.
#
# The filter of exported_symbols.py on names that GCC, Clang and the sanitizer
# build really emit, and the check that the docs name every export.
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import exported_symbols as es  # noqa: E402


class FilterTest(unittest.TestCase):
    def test_the_interface_is_kept(self):
        for name in [
                "KV_Object::SetProperty(char16_t const*, int, int, bool)",
                "KV_Object::save(std::iostream*, KV_Object::FileType, char16_t const*, "
                "char16_t const*) const",
                "KV_Object::~KV_Object()",
                "KV_Mem_Obj::operator delete(void*)",
                "GX_Exception::what() const",
                "non-virtual thunk to GX_Exception::~GX_Exception()",
                "kv_utf16_to_utf8[abi:cxx11](char16_t const*, unsigned long)",
                "operator+(GX_String const&, char16_t const*)",
                "GetKVErrResHandle()",
                "kvres_text",
                "typeinfo for KV_Severe",
                "typeinfo name for GX_Std_Media_Capabilities",
                "vtable for KV_zlib_Codec"]:
            self.assertEqual(es.interface_name(name), name, name)

    def test_what_compilers_add_is_dropped(self):
        for name in [
                # Instantiations of the standard library's templates.
                "std::__cxx11::basic_string<char16_t, std::char_traits<char16_t>, "
                "std::allocator<char16_t> >::reserve(unsigned long)",
                "void std::vector<char, std::allocator<char> >::_M_realloc_insert<char>("
                "__gnu_cxx::__normal_iterator<char*, std::vector<char, std::allocator<char> > >, "
                "char&&)",
                "auto std::filesystem::__cxx11::__detail::__effective_range<char [7]>("
                "char const (&) [7])",
                "char& std::vector<char, std::allocator<char> >::emplace_back<char>(char&&)",
                "__gnu_cxx::__normal_iterator<char*, std::vector<char, std::allocator<char> > >"
                "::difference_type __gnu_cxx::operator-<char*>(int)",
                "decltype(nullptr)&& std::forward<decltype(nullptr)>(std::remove_reference<"
                "decltype(nullptr)>::type&)",
                "std::__detail::__to_chars_10_impl<unsigned int>(char*, unsigned int, "
                "unsigned int)::__digits",
                "typeinfo for std::exception",
                # The typeinfo of function types (UndefinedBehaviorSanitizer).
                "typeinfo for bool (char16_t const*, unsigned long, double*)",
                "typeinfo name for void (void*)",
                "typeinfo for KV_Iterator*&& (KV_Iterator*&)",
                # The toolchain's reserved names.
                "_init", "_fini", "__bss_start", "_edata", "_end", "__asan_globals_registered"]:
            self.assertIsNone(es.interface_name(name), name)

    def test_an_accidental_export_is_seen(self):
        # A helper of the library that lost its hidden visibility.
        self.assertEqual(es.interface_name("kv_path_compose(char16_t const*, int)"),
                         "kv_path_compose(char16_t const*, int)")
        self.assertEqual(es.interface_name("KV_Node::AddNode(KV_Path const&, bool, bool)"),
                         "KV_Node::AddNode(KV_Path const&, bool, bool)")


class DocumentedTest(unittest.TestCase):
    def test_every_class_and_function_must_be_named(self):
        with tempfile.TemporaryDirectory() as folder:
            listing = os.path.join(folder, "list.txt")
            with open(listing, "w", encoding="utf-8") as f:
                f.write("# comment\n[libkvstore.so]\nKV_Object::KV_Object()\n"
                        "typeinfo for KV_Object\nkv_version()\noperator+(GX_String const&, "
                        "char16_t const*)\nnon-virtual thunk to GX_Exception::~GX_Exception()\n"
                        "[libkvres14.so]\nkvres_text\n")
            docs = os.path.join(folder, "docs")
            os.makedirs(os.path.join(docs, "codecs"))
            with open(os.path.join(docs, "api.md"), "w", encoding="utf-8") as f:
                f.write("`KV_Object` and `kv_version()`; `operator+` joins.\n")
            self.assertEqual(es.documented(listing, docs), ["kvres_text"])
            # A name inside a longer word does not count.
            with open(os.path.join(docs, "codecs", "x.md"), "w", encoding="utf-8") as f:
                f.write("my_kvres_texts\n")
            self.assertEqual(es.documented(listing, docs), ["kvres_text"])
            with open(os.path.join(docs, "codecs", "x.md"), "w", encoding="utf-8") as f:
                f.write("kvres_text(id)\n")
            self.assertEqual(es.documented(listing, docs), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
