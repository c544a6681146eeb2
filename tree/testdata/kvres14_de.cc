// Copyright the kvstore authors.
//
// A German message library for the message loader's tests.
extern "C" __attribute__((visibility("default"))) const char16_t* kvres_text(unsigned id) {
  switch (id) {
    case 54:
      return u"Der Typ des Werts passt nicht zur Eigenschaft.";
    default:
      return nullptr;
  }
}
