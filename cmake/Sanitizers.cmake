# OPC_SANITIZE=address,undefined or thread applies to everything built in this tree.
if(OPC_SANITIZE)
  set(_san "-fsanitize=${OPC_SANITIZE}")
  add_compile_options(${_san} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(${_san})
endif()
