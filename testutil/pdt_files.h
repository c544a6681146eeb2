// Copyright the kvstore authors.
//
// The names of the files of a driver description set, as they stand in its
// folder without ".pdt" (note the blank that ends "Protocol "). Kept apart
// from the library's own table so that the tests and the benchmark that make
// sets do not take the names from the code they exercise.
#ifndef KVSTORE_TESTUTIL_PDT_FILES_H_
#define KVSTORE_TESTUTIL_PDT_FILES_H_

#include <string>
#include <vector>

inline const std::vector<std::string>& pdt_file_names() {
  static const std::vector<std::string> names = {"Baud Rate",
                                                 "Custom Capability",
                                                 "Dithering Method",
                                                 "IO Method",
                                                 "Media Collating",
                                                 "Media Cutting",
                                                 "Media Description",
                                                 "Media Destination",
                                                 "Media Folding",
                                                 "Media Source Size",
                                                 "Media Source",
                                                 "Media Size",
                                                 "Media Stapling",
                                                 "Media Type",
                                                 "Memory Area",
                                                 "Resolution",
                                                 "Resolution Color Memory",
                                                 "Misc Non-Localizable Info",
                                                 "Misc Localizable Information",
                                                 "Global Static Lists",
                                                 "Line Type Capabilities",
                                                 "Raster Capability",
                                                 "Protocol ",
                                                 "Media Source Entry"};
  return names;
}

#endif  // KVSTORE_TESTUTIL_PDT_FILES_H_
