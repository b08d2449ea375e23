# Sourced by scripts/test: starts the services the tests need and stops them on exit.
start_test_services() {
  :
}
