#include "mapping/CommandKey.h"

#include <boost/container_hash/hash.hpp>

size_t CommandKeyHash::operator()(const CommandKey& key) const {
    size_t seed = 0;
    boost::hash_combine(seed, key.name);
    boost::hash_combine(seed, key.kind);
    return seed;
}
