library(testthat)
library(rova)

test_check("rova")
