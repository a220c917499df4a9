#pragma once

// Lists of variables that are themselves managed objects, held through strong pointers.

#include <vector>

#include "glue/object_ptr.h"
#include "values/var.h"

// A list of values an instruction produces.
template <class T>
class trvvector_shared : public std::vector<T>, public trvptr_base<trvvector_shared<T>> {
 public:
  using std::vector<T>::vector;
};

// The captured values of a script function value (a closure).
class trvvar_ptr_function_lambda : public std::vector<trvvar_shared>,
                                   public trvptr_base<trvvar_ptr_function_lambda> {
 public:
  using std::vector<trvvar_shared>::vector;
};
