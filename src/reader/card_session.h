// CardSession: what a layer above the reader keeps per port about the card in the field (the
// DESFire layer's selected application and authentication, say). The port owns the record and
// destroys it with itself; the reader never looks inside, it only tells the record when the card
// it belongs to has gone.
#pragma once

namespace kovra {

class CardSession {
 public:
  virtual ~CardSession() = default;

  // A card was activated anew in the field (the PPS exchange that follows select and RATS): what
  // the session knew about the previous card no longer holds.
  virtual void OnCardActivated() = 0;
};

}  // namespace kovra
