// Everything of the host's add-on interface: records, service list and entry signatures.
#pragma once

#include "ApiRecords.hpp"
#include "HostServices.hpp"
