#pragma once

// Everything a host application needs from VelmarSDK.
#include "velmar/key_store.hpp"
#include "velmar/main_queue.hpp"
#include "velmar/session_configuration.hpp"
#include "velmar/types.hpp"
