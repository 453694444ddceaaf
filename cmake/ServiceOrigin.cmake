# tw_require_origin(<cache variable>)
#
# The one rule for the service origins the programs talk to: an https
# origin, or an http origin on a loopback address (for tests against a local
# service), without a path or a trailing slash.
function(tw_require_origin option)
  set(value "${${option}}")
  set(port "(:[0-9]+)?")
  if(value MATCHES "^https://[A-Za-z0-9.-]+${port}$" OR
     value MATCHES "^http://(localhost|127\\.[0-9]+\\.[0-9]+\\.[0-9]+|\\[::1\\])${port}$")
    return()
  endif()
  message(FATAL_ERROR "${option} must be an https origin, or an http origin on a loopback address "
                      "(localhost, 127.x.x.x, [::1]), without a path or trailing slash, e.g. "
                      "https://api.example.com or http://127.0.0.1:18765 (got \"${value}\")")
endfunction()
