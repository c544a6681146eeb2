// Copyright the kvstore authors.
//
// The I/O steps of a driver description import: the serial protocols, read
// into a list, and the I/O methods (file, spooler, serial, parallel,
// network ...) written under \io\method\<type value>\ with their timeouts,
// defaults, handshake lines, bidirectional features, protocols and baud
// rates. "I/O flag n" is group n of the import's plotter I/O abilities,
// "method flag n" group n of the abilities of the method being read; each
// set group holds kv_pdt_present.
#ifndef KVSTORE_DRIVERS_KV_PDT_IO_H_
#define KVSTORE_DRIVERS_KV_PDT_IO_H_

class kv_pdt_import;

// "Protocol .pdt" into the protocol list, one record per named line: 1 name
// (cleaned), 3 data bits, 4 stop bits, 5 parity, each from its vocabulary
// with -1 for a name outside it.
void kv_pdt_read_protocols(kv_pdt_import& import);

// "IO Method.pdt". Fields, none cleaned: 1 method type (I/O types), 2
// bidirectional feature, 3 protocol, 4 to 9 the maximum and minimum output
// and input timeouts and the default output and input timeouts, 10 default
// handshake line, 11 default baud rate, 12 default protocol, 13 handshake
// line, 14 baud rate.
//
// A line whose field 1 is not empty starts a method: I/O flag 0; the method
// before it is finished when any line has been processed; then a type
// outside the vocabulary skips the rest of the line. Otherwise the method
// key becomes the type's value in decimal, M = \io\method\<key>, and the line
// writes M\caps_type and the fields it has (4 to 9, 11, 12). Every line of a
// known method (its first line and the lines after it with an empty field 1)
// ORs field 2 into the bidirectional mask, field 13 into the handshake mask
// and field 10 into the default handshake mask (a name outside the
// vocabulary ORs in 65535), and writes field 3 as the next protocol
// (M\protocol\k\..., the counter running on through the whole file) and
// field 14 as the next baud rate (M\baudrates\b\...).
//
// Finishing a method writes M\default_handshake, M\handshakes and
// M\bidi_flags when their method flags are set, then M\abilities, and clears
// the handshake masks and the method flags; the bidirectional mask runs on,
// so each method's bidi_flags holds the features of the methods before it.
// These rules are kept exactly, with what follows from them: lines with an
// empty field 1 before the first method write under \io\method\ itself, and
// a line of an unknown type finishes the method before it and leaves its
// key in place, so a later start writes that method's abilities once more,
// from cleared flags.
void kv_pdt_convert_io_methods(kv_pdt_import& import);

#endif  // KVSTORE_DRIVERS_KV_PDT_IO_H_
