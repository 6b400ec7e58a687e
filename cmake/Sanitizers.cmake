# Applies NOTCH_SANITIZERS to everything built in this tree, ours and the
# test framework's alike, so that instrumented and plain code never mix.
if(NOTCH_SANITIZERS)
  set(_notch_sanitize_flags -fsanitize=${NOTCH_SANITIZERS} -fno-omit-frame-pointer)
  if(NOTCH_SANITIZERS MATCHES "undefined")
    list(APPEND _notch_sanitize_flags -fno-sanitize-recover=undefined)
  endif()
  add_compile_options(${_notch_sanitize_flags})
  add_link_options(${_notch_sanitize_flags})
endif()
