// Copyright the kvstore authors.
//
// A host's language library for the message loader's tests: reports German.
extern "C" __attribute__((visibility("default"))) const char16_t* orudGetProductUILanguage() {
  return u"de-DE";
}
