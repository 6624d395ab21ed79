// The virtual camera. TODO(sim).
#pragma once
