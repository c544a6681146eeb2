# Writes kvstore.pc for the prefix of the running install (cmake --install
# runs this script; CMAKE_INSTALL_PREFIX is then the prefix it installs to).
# Inputs: KV_PC_VERSION, KV_PC_LIBDIR, KV_PC_INCLUDEDIR (relative to the
# prefix, or absolute), KV_PC_TEMPLATE, KV_PC_OUTPUT.
set(kv_pc_prefix "${CMAKE_INSTALL_PREFIX}")
foreach(kind LIBDIR INCLUDEDIR)
  set(dir "${KV_PC_${kind}}")
  if(NOT IS_ABSOLUTE "${dir}")
    set(dir "\${prefix}/${dir}")
  endif()
  string(TOLOWER "kv_pc_${kind}" name)
  set(${name} "${dir}")
endforeach()
configure_file("${KV_PC_TEMPLATE}" "${KV_PC_OUTPUT}" @ONLY)
