# Read by ctest after the discovered tests. A test whose work is hashing gigabytes takes time in
# proportion to the processor it gets: on a machine loaded eightfold the usual bound would end
# it while it still works correctly.
set_tests_properties("Md5.InputsBeyondFourGiB" PROPERTIES TIMEOUT 900)
