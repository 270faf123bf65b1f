#pragma once

// Marks the declarations that the shared library exports; everything else stays hidden.
#define VELMAR_EXPORT __attribute__((visibility("default")))
