#pragma once
// Position of an iteration over a hash table or hash map; null ends it. The same alias as the
// framework's, so code that sees both headers uses one POSITION type.
using POSITION = struct positionTag*;
