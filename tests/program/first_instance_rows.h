#pragma once

// The first instance's work in the two-instance tests, shared by the test and its helper program:
// after Define Variables of "a*b", a's row (2.5, 0.1, 10) is stored and b's values (3, 0.2, 20)
// are typed but not yet stored.

#include "tables/dataset.h"

namespace mirevant::testing {

inline void enterFirstInstanceRows(Dataset& list) {
  list.first();
  list.edit();
  list.fieldByName("VALUE").setAsString("2.5");
  list.fieldByName("UNC").setAsString("0.1");
  list.fieldByName("DOF").setAsString("10");
  list.post();
  list.next();
  list.edit();
  list.fieldByName("VALUE").setAsString("3");
  list.fieldByName("UNC").setAsString("0.2");
  list.fieldByName("DOF").setAsString("20");
}

}  // namespace mirevant::testing
