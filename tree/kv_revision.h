// Copyright the kvstore authors.
//
// Revision tags of the library's source units, carried by every exception
// that a unit raises (GX_Exception::file()).
#ifndef KVSTORE_TREE_KV_REVISION_H_
#define KVSTORE_TREE_KV_REVISION_H_

inline constexpr const char16_t* kRevKvobj = u"$Workfile: kvobj.cc $ $Revision: 1 $";
inline constexpr const char16_t* kRevKvtree = u"$Workfile: kvtree.cc $ $Revision: 1 $";
inline constexpr const char16_t* kRevKvpia = u"$Workfile: kvpia.cc $ $Revision: 3 $";
inline constexpr const char16_t* kRevKvdpia = u"$Workfile: kvdpia.cc $ $Revision: 4 $";
inline constexpr const char16_t* kRevKvdoc = u"$Workfile: kvdoc.cc $ $Revision: 1 $";
inline constexpr const char16_t* kRevKvpc2 = u"$Workfile: kvpc2.cc $ $Revision: 1 $";
inline constexpr const char16_t* kRevKvpcp = u"$Workfile: kvpcp.cc $ $Revision: 1 $";
inline constexpr const char16_t* kRevKvpdt = u"$Workfile: kvpdt.cc $ $Revision: 2 $";
inline constexpr const char16_t* kRevKvCompress = u"$Workfile: kv_compress.cc $ $Revision: 1 $";

#endif  // KVSTORE_TREE_KV_REVISION_H_
