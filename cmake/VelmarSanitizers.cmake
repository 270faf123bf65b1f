# VELMAR_SANITIZE builds every target of the tree, tests and tools included, with one
# sanitizer set, so no uninstrumented copy of our code can hide a fault:
#   address - AddressSanitizer (leaks included) with UndefinedBehaviorSanitizer
#   thread  - ThreadSanitizer
set(VELMAR_SANITIZE "" CACHE STRING "Sanitizer build: empty, address (with undefined) or thread")
set_property(CACHE VELMAR_SANITIZE PROPERTY STRINGS "" address thread)

set(VELMAR_SANITIZER_FLAGS "")
if(VELMAR_SANITIZE STREQUAL "address")
  set(VELMAR_SANITIZER_FLAGS
      -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
elseif(VELMAR_SANITIZE STREQUAL "thread")
  set(VELMAR_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT VELMAR_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VELMAR_SANITIZE must be empty, address or thread, not ${VELMAR_SANITIZE}")
endif()
add_compile_options(${VELMAR_SANITIZER_FLAGS})
add_link_options(${VELMAR_SANITIZER_FLAGS})
if(VELMAR_SANITIZER_FLAGS AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC's flow analysis sees through the sanitizers' instrumentation poorly and reports
  # uninitialized reads inside std::variant and nlohmann::json that cannot happen. The
  # unsanitized builds keep the warning, as an error.
  add_compile_options(-Wno-maybe-uninitialized)
endif()

# What every test process gets in its environment under a sanitizer build. The suppression
# files name only third-party libraries we cannot rebuild instrumented.
set(VELMAR_SANITIZER_ENVIRONMENT "")
if(VELMAR_SANITIZE STREQUAL "address")
  set(VELMAR_SANITIZER_ENVIRONMENT
      "ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
      "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/lsan_suppressions.txt:print_suppressions=0"
      "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
elseif(VELMAR_SANITIZE STREQUAL "thread")
  set(VELMAR_SANITIZER_ENVIRONMENT
      "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/tsan_suppressions.txt:second_deadlock_stack=1")
endif()
