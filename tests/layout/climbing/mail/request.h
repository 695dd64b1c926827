// Fixture.
#pragma once
