#pragma once

// Everything a host application needs from VelmarSDK.
#include "velmar/base_interactor.hpp"
#include "velmar/key_store.hpp"
#include "velmar/main_queue.hpp"
#include "velmar/observable.hpp"
#include "velmar/result_callback.hpp"
#include "velmar/session_configuration.hpp"
#include "velmar/types.hpp"
#include "velmar/use_case_errors.hpp"
